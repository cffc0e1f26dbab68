// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QWidget>

namespace krx {

// A vector picture from the resources, scaled to the widget with its proportions kept. It is
// read and rendered only when first painted (then kept per size by QIcon), so a picture on a
// hidden page costs nothing at start-up.
class CPictureView final : public QWidget {
  public:
    CPictureView(const QString& resource, const QString& description, QSize preferred,
                 QWidget* parent = nullptr);

    QSize sizeHint() const override { return preferred_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString resource_;
    QIcon picture_;
    QSize preferred_;
};

}  // namespace krx
