// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDPROFILE_H
#define CARDPROFILE_H

#include <QMetaType>
#include <QString>

// What a driver card says of itself: the sample rate it confirmed (by a frequency read or an
// accepted set) and the number of sensors in its frames; 0 where it has not said. A port known
// only by its name may come back with another card behind it after a loss: comparing what the
// card said before with what it says after the reconnection is the only way to tell.
struct CardProfile
{
    int frequencyHz = 0;
    int sensors = 0;

    // Whether a part that both tell differs.
    bool rateDiffersFrom(const CardProfile &other) const
    {
        return frequencyHz > 0 && other.frequencyHz > 0 && frequencyHz != other.frequencyHz;
    }
    bool sensorsDifferFrom(const CardProfile &other) const
    {
        return sensors > 0 && other.sensors > 0 && sensors != other.sensors;
    }
    bool differsFrom(const CardProfile &other) const
    {
        return rateDiffersFrom(other) || sensorsDifferFrom(other);
    }
    // The parts that differ from `before` to this, in English for a log or a program's
    // standard error: "200 Hz -> 100 Hz, 16 -> 4 sensors".
    QString changeFrom(const CardProfile &before) const;
};

Q_DECLARE_METATYPE(CardProfile)

#endif // CARDPROFILE_H
