// SPDX-License-Identifier: MIT
#include "icons.h"

namespace krx {

QString iconResource(int id) {
    return QStringLiteral(":/icons/icon_%1.svg").arg(id);
}

}  // namespace krx
