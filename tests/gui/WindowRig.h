// The Ombrel window in this process, its program directory a scratch
// directory, and an Ombrel device (the virtual board) on a pseudo-terminal
// reached as COM kPort. Error boxes are answered as an operator would.
#pragma once

#include "Unit1.h"

#include <vtarget/Board.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// Closes every modal message box that comes up, with its OK button, and
// notes its title and text.
class MessageBoxCatcher {
  public:
    MessageBoxCatcher();

    QStringList titles;
    QStringList texts;

  private:
    QTimer timer_;
};

// A block frame as the device took it.
struct ReceivedBlock {
    uint16_t number = 0;
    int size = 0;
    std::chrono::steady_clock::time_point at;
};

class WindowRig {
  public:
    static constexpr int kPort = 7;

    WindowRig();
    ~WindowRig();

    // COM kPort names this device from now on.
    static void PointPortAt(const QString& path);
    // Starts the device; false (and a test failure) if it does not.
    bool StartDevice(vtarget::OmbrelOptions device = {});
    // ombrel.ini naming the port and the file.
    void WriteIni(int port, const QString& file);
    // A file of the given size in the program directory; its bytes include
    // the protocol's "~" and ">".
    QString WriteImage(int size, const QString& name = QStringLiteral("image.pkx"));
    // Creates and shows the window, with the given first argument.
    void Show(const QString& argument = {});
    // A device with these options, an ini naming its port and the file, and
    // the window shown.
    bool Prepare(const vtarget::OmbrelOptions& device, const QString& file,
                 const QString& argument = {});
    // Presses the button and waits until the load has ended.
    bool Load(int timeoutMs = 8000);
    bool LoadEnded() const;
    // Runs work every 10 ms while the test waits, until it returns true.
    void WhileWaiting(std::function<bool()> work);

    QString Status() const;
    QStringList LogLines() const; // ombrel.log, split at CR LF
    QByteArray LogBytes() const;
    std::vector<ReceivedBlock> Blocks() const;
    std::vector<uint16_t> BlockNumbers() const;
    // Block numbers and sizes, as "0000:128 FF00:44".
    QString BlockLayout() const;
    // Milliseconds between the device's first and second frame of a block.
    qint64 RetryGap(uint16_t number) const;

    QTemporaryDir directory;
    std::unique_ptr<vtarget::Board> device;
    std::unique_ptr<TForm1> form;
    MessageBoxCatcher boxes;
    QByteArray image;

  private:
    QTimer helper_;
};

// The image's bytes: a pattern that holds 7Eh and 3Eh.
QByteArray ImageBytes(int size);
