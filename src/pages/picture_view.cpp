// SPDX-License-Identifier: MIT
#include "pages/picture_view.h"

#include <QPainter>

namespace krx {

CPictureView::CPictureView(const QString& resource, const QString& description, QSize preferred,
                           QWidget* parent)
    : QWidget(parent), resource_(resource), preferred_(preferred) {
    setAccessibleName(description);
    setAccessibleDescription(description);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CPictureView::paintEvent(QPaintEvent* /*event*/) {
    if (picture_.isNull())
        picture_ = QIcon(resource_);
    QPainter painter(this);
    picture_.paint(&painter, rect(), Qt::AlignCenter);
}

}  // namespace krx
