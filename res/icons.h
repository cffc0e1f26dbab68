// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace krx {

// Resource path of icon `id` (128 application, 133 port closed, 134 port open, 135 positive and
// 136 negative sync pulse, 137 waiting for a lost port, 189 power on, 190 power off).
QString iconResource(int id);

}  // namespace krx
