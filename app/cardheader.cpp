// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardheader.h"

#include "myserialport.h"
#include "recordformat.h"
#include "samplerates.h"

#include <QCoreApplication>

#include <memory>

void followCardHeader(MySerialport *card, QObject *context,
                      const std::function<void(const RecordHeader &)> &apply)
{
    // Touched in the worker thread only, once set.
    const auto header = std::make_shared<RecordHeader>();
    header->program =
        QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion();
    apply(*header);
    const auto opened = [header, apply](const QString &portName, int baudRate) {
        *header = {header->program, portName, baudRate, 0};
        apply(*header);
    };
    const auto frequency = [header, apply, card](int option, int res) {
        const int hz = sampleRateHz(card->freIndex());
        if (res != kStatusDone || option == 2 || hz == 0)
            return; // not a frequency read or set that succeeded
        header->frequencyHz = hz;
        apply(*header);
    };
    QObject::connect(card, &MySerialport::portOpened, context, opened, Qt::DirectConnection);
    QObject::connect(card, &SlaveProtocol::sampleFreResult, context, frequency,
                     Qt::DirectConnection);
}

void followCardGaps(MySerialport *card, QObject *context,
                    const std::function<void(const QString &cause)> &beginGap)
{
    QObject::connect(
        card, &MySerialport::portLost, context,
        [beginGap] { beginGap(QStringLiteral("port lost")); }, Qt::DirectConnection);
    QObject::connect(
        card, &MySerialport::portClosed, context,
        [beginGap] { beginGap(QStringLiteral("port closed")); }, Qt::DirectConnection);
}
