// An eventfd that tells the board thread to stop. Once signalled it stays
// readable, so every wait the thread is in, and every later one, ends.
#pragma once

namespace vtarget {

class WakeFd {
  public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Signal();

  private:
    int fd_;
};

} // namespace vtarget
