// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include "model/timing_diagram.h"

namespace krx {

// One of the Timing Details page's two diagrams, drawn with the painter from the values the page
// shows (model/timing_diagram.h says what goes where), in the widget's font and at its size. A
// caption that does not fit its place shows its shorter form. The accessible name stays; the
// accessible description carries the values. Window thread only.
class CTimingDiagramView final : public QWidget {
  public:
    CTimingDiagramView(DiagramAxis axis, const QString& accessibleName, QWidget* parent = nullptr);

    // Draws these values from the next paint on; the same values again change nothing.
    void showTiming(const TimingDetails& shown);
    const TimingDiagram& diagram() const { return diagram_; }

    QSize sizeHint() const override { return {460, 180}; }
    // The height that holds every caption line and a readable trace with the current font.
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    DiagramAxis axis_;
    TimingDetails shown_;
    TimingDiagram diagram_;
};

}  // namespace krx
