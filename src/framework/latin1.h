// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <string_view>

namespace krx {

// The console's texts are Latin-1, as the generator's and SG.ini's are.
inline QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace krx
