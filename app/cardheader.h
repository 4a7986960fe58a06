// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDHEADER_H
#define CARDHEADER_H

#include <functional>

class QString;
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
// Tells `beginGap` why the card's data stop, as a recording's gap line says it: "port lost" or
// "port closed" (a loss comes before its close, and the first cause is the gap's). Directly in
// the worker thread, as above, so that the gap begins before the next port's frames.
void followCardGaps(MySerialport *card, QObject *context,
                    const std::function<void(const QString &cause)> &beginGap);

#endif // CARDHEADER_H
