#pragma once

namespace tessaron {

// A signal handler runs on the stack of the thread that faulted; when that stack is what overflowed, it
// can only run on an alternate stack, and an alternate stack serves only the thread that set it.

// Gives the calling thread an alternate signal stack of its own, kept until the thread ends. A second call
// on the same thread changes nothing. False when the stack could not be made.
bool installAlternateSignalStack();

// From now on every thread started through pthread_create (the application's, Qt's thread pools and
// network threads, the desktop libraries') sets up its alternate stack before it runs any code.
void giveNewThreadsAlternateSignalStacks();

} // namespace tessaron
