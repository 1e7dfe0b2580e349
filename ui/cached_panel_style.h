#pragma once
// The window's style, with the frames that repaint with every dashboard change drawn
// from pictures kept per size and state. A field whose text changes repaints its frame
// and, beneath it, the group box it sits on; the style draws both from scratch every
// time (rounded outlines rasterised, the box's frame image loaded, its title laid out),
// which costs more than the new text itself. Every other element is the style's own.
#include <QProxyStyle>

class CachedPanelStyle final : public QProxyStyle {
 public:
  CachedPanelStyle();  // on top of the application's style

  // Whether the pictures are drawn exactly as `style` draws the frames itself: a style
  // that paints through the platform's theme may not draw onto a transparent picture.
  static bool Suits(const QStyle& style);

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;
};
