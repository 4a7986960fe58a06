// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WORKERCALL_H
#define WORKERCALL_H

#include <functional>

class QObject;

// Longest time the interface thread waits for the worker to take a call. The worker never
// waits for the interface, and its own waits let queued calls through every 10 ms, so a call
// is normally taken at once; the bound only keeps the interface alive should it not be.
constexpr int kWorkerCallTimeoutMs = 2000;

// Runs `call` in the thread of `worker` and waits until it has run, at most `timeoutMs`.
// Returns false when the worker's thread does not run or did not take the call in time; a call
// not yet started by then is dropped, so that it never runs behind the caller's back.
bool callInWorker(QObject *worker, std::function<void()> call,
                  int timeoutMs = kWorkerCallTimeoutMs);

#endif // WORKERCALL_H
