// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDHEADER_H
#define CARDHEADER_H

#include <functional>

class MySerialport;
class QObject;
struct RecordHeader;

// Tells `apply` what the comment lines of a stream of the card's frames say: the program at
// once, then the port and its baud rate at every open, and the card's frequency once read or
// set. It runs in the worker thread, directly, so that a port's first frames, which come after
// its portOpened(), already find the port's header. `apply` must be thread-safe; the
// connections end with `context`.
void followCardHeader(MySerialport *card, QObject *context,
                      const std::function<void(const RecordHeader &)> &apply);

#endif // CARDHEADER_H
