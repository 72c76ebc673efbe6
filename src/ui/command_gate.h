#pragma once

namespace ferrolux::ui {

// Runs a window's commands one at a time as the toolkit delivers them. A box
// shown by a command runs its own message loop, so a close can arrive while
// the command runs: it is held and sent once the command has ended.
class CommandGate {
  public:
    bool busy() const { return busy_ > 0; }

    // Holds a close that arrives while a command runs; false when none runs
    // and the caller sends it now.
    bool holdClose() {
        if (busy_ == 0) return false;
        closeHeld_ = true;
        return true;
    }

    // Runs `work`; a close held meanwhile is then sent through `close`.
    template <class Work, class Close>
    void run(Work&& work, Close&& close) {
        ++busy_;
        work();
        --busy_;
        if (busy_ == 0 && closeHeld_) {
            closeHeld_ = false;
            close();
        }
    }

  private:
    int busy_ = 0;
    bool closeHeld_ = false;
};

}  // namespace ferrolux::ui
