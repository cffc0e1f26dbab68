// SPDX-License-Identifier: MIT
#include "pages/picture_view.h"

#include <QPainter>

namespace krx {

CPictureView::CPictureView(const QString& resource, const QString& description, QSize preferred,
                           QWidget* parent)
    : QWidget(parent), resource_(resource), picture_(resource), preferred_(preferred) {
    setAccessibleName(description);
    setAccessibleDescription(description);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CPictureView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    picture_.paint(&painter, rect(), Qt::AlignCenter);
}

}  // namespace krx
