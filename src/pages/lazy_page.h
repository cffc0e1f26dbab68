// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

namespace krx {

// A tab page whose widgets are built when it is first shown, so that a hidden page costs next to
// nothing at start-up. The page keeps its state in members of its own. Until the widgets exist, a
// refresh keeps a copy of what it would have written (the screen's copy) and the build writes
// that copy to the new widgets: a member written without a refresh stays off screen until the
// next refresh, as on a page whose widgets always existed. A reading builds the page first, so it
// takes what the screen shows. Window thread only.
class CLazyPage : public QWidget {
  public:
    // Builds the widgets unless they exist, for callers that reach the page's controls.
    void ensureBuilt();
    bool built() const { return built_; }

    // Builds the widgets before the page first becomes visible, so that they are laid out and
    // shown with it.
    void setVisible(bool visible) override;

  protected:
    using QWidget::QWidget;
    // Builds the widgets and writes the screen's copy to them; called once.
    virtual void buildWidgets() = 0;

  private:
    bool built_ = false;
};

}  // namespace krx
