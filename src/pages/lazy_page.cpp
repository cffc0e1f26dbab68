// SPDX-License-Identifier: MIT
#include "pages/lazy_page.h"

namespace krx {

void CLazyPage::ensureBuilt() {
    if (built_)
        return;
    // Set first: the build reaches its own controls through the page.
    built_ = true;
    buildWidgets();
}

void CLazyPage::setVisible(bool visible) {
    if (visible)
        ensureBuilt();
    QWidget::setVisible(visible);
}

}  // namespace krx
