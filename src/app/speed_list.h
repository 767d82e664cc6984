// The speeds the two speed lists of the settings tab offer: only those the serial line opens
// with, in rising order. 33600 and 57000, which a line refuses, are not offered.
#pragma once

#include <QStringList>

namespace liron {

QStringList OfferedSpeeds();
constexpr const char* kDesignSpeed = "38400";

}  // namespace liron
