// The window of Ombrel, the window loader: the operator picks a COM port and
// a file and presses one button; the form resets the device, waits for its
// boot loader's prompt, sends the file in CRC-8 framed blocks of 128 bytes,
// each acknowledged within three attempts, and waits for the device to say
// it runs. Port and file are kept in ombrel.ini, each load's outcome in
// ombrel.log. Everything runs on the window's thread: the waits for the
// device run a local event loop, in which its bytes and the cancel click
// are handled.
#pragma once

#include "DeviceReceiver.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <optional>

class QEventLoop;

class TForm1 : public QWidget {
    Q_OBJECT

  public:
    // programDirectory: the program file's directory, where the ini and log
    // files go if it is writable. firstArgument: the program's first
    // command-line argument; "-a" (any case) loads at once and ends the
    // program 500 ms after the transfer.
    TForm1(const QString& programDirectory, const QString& firstArgument,
           QWidget* parent = nullptr);

    // The window's components.
    QLabel* Label1;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* btnConnect;
    QComboBox* cmbComPort;
    QPushButton* btnOpen;
    QLineEdit* edName;
    QLineEdit* edStatus;
    QProgressBar* RbProgressBar1;
    QSerialPort* ComPort1;
    QFileDialog* OpenDialog1;
    QTimer* Timer1; // runs the transfer, once
    QTimer* Timer2; // watches for the boot loader's prompt
    QTimer* Timer3; // ends the program after an automatic load

    // Where ombrel.ini and ombrel.log are, with a trailing separator; known
    // once the window has been shown.
    const QString& SettingsDirectory() const { return settingsDirectory_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    enum class WaitResult { Done, TimedOut, Cancelled };

    void CreateComponents();
    void ConnectEvents();
    QLabel* NewLabel(const char* text, int top);
    QTimer* NewTimer(int interval);

    void FormShow();
    void FormClose();
    void btnConnectClick();
    void btnOpenClick();
    void ComPort1RxChar();
    void ComPort1Error(QSerialPort::SerialPortError error);
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();

    void ReadSettings();
    void WriteSettings();
    void StartLoad();
    void CancelLoad();
    bool OpenPort();
    void FailToOpen();
    void EndLoadControls();
    void SendReset();
    void SendFile();
    bool LoadImage(QByteArray& image);
    // Each returns the failure's message, or nothing on success.
    QString TransferBlocks(const QByteArray& image);
    QString AwaitRun();
    bool SendBlock(uint16_t number, QByteArrayView data);
    void Write(QByteArrayView bytes);
    WaitResult WaitForAck(int limit);
    WaitResult WaitForText(int limit, const char* text);
    bool WaitForEvents(const QDeadlineTimer& deadline);
    void WakeWait();
    void Pause(int milliseconds);

    void SetStatus(const QString& text);
    void ShowError(const QString& message);
    void FinishLog(const QString& resultLine);

    QString programDirectory_;
    QString firstArgument_;
    QString settingsDirectory_;
    QString fileName_;
    bool shown_ = false;
    bool loading_ = false;
    bool automatic_ = false;
    ombrel::DeviceReceiver receiver_;
    std::optional<QStringList> log_; // only while a load attempt runs
    QEventLoop* wait_ = nullptr;     // the wait for the device in progress
};
