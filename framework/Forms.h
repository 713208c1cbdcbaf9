// TApplication: the message loop of the calling thread.
//
// Every thread that owns notification windows runs its own loop; the global
// Application object serves each thread's loop for that thread: Run,
// Terminate and Terminated answer for the calling thread only.
#pragma once

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

    // Handles every message already waiting on this thread, then returns
    // (at once after the quit request that Terminate queued).
    void ProcessMessages();
    // Waits for one message on this thread and handles it.
    void HandleMessage();
    // Handles messages until Terminate is called on this thread.
    void Run();
    // Ends Run on the calling thread once the messages already queued are
    // handled; Run on any other thread goes on.
    void Terminate();
    // Whether Terminate was called on this thread since its last Run began
    // (or its loop took the quit request).
    bool Terminated() const;

#ifndef _WIN32
    // For an event loop of the application's own (GLib, Qt, poll, epoll):
    // a descriptor of the calling thread's message queue that reads ready
    // while a message waits for this thread; call ProcessMessages when it
    // does. It stops reading ready once ProcessMessages has emptied the
    // queue. Never read or close it; it lives as long as the thread.
    // -1 when the system refuses a descriptor.
    int QueueDescriptor() { return MessageQueueDescriptor(); }
#endif

    // Reports an exception that escaped a message handler: to OnException when
    // it is assigned, else as one line on stderr. The loop goes on.
    void HandleException(TObject* Sender, Exception& E);

    TExceptionEvent OnException;

  private:
    // Returns false when the message was WM_QUIT.
    bool Dispatch(const MSG& msg);
};

extern TApplication* const Application;
