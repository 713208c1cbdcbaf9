// TApplication: the message loop of the calling thread.
//
// Every thread that owns notification windows runs its own loop; the global
// Application object serves each thread's loop for that thread.
#pragma once

#include <atomic>

#include "framework/Classes.h"
#include "framework/Events.h"
#include "platform/Win32.h"

using TExceptionEvent = TMethodPtr<void(TObject* Sender, Exception& E)>;

class EOutOfResources : public Exception {
  public:
    using Exception::Exception;
};

class TApplication : public TComponent {
  public:
    explicit TApplication(TComponent* AOwner) : TComponent(AOwner) {}

    // Handles every message already waiting on this thread, then returns.
    void ProcessMessages();
    // Waits for one message on this thread and handles it.
    void HandleMessage();
    // Handles messages until Terminate is called on this thread.
    void Run();
    // Ends Run on the calling thread once the messages already queued are handled.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Reports an exception that escaped a message handler: to OnException when
    // it is assigned, else as one line on stderr. The loop goes on.
    void HandleException(TObject* Sender, Exception& E);

    TExceptionEvent OnException;

  private:
    // Returns false when the message was WM_QUIT.
    bool Dispatch(const MSG& msg);

    std::atomic<bool> FTerminated = false;
};

extern TApplication* const Application;
