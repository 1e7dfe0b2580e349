#pragma once
// The window's style, with the frames that repaint with every dashboard change drawn
// from pictures kept per size and state. A field whose text changes repaints its frame
// and, beneath it, the group box it sits on; the style draws both from scratch every
// time (rounded outlines rasterised, the box's frame image loaded, its title laid out),
// which costs more than the new text itself. Every other element is the style's own.
#include <QFont>
#include <QPixmap>
#include <QProxyStyle>
#include <QSize>
#include <QString>
#include <cstddef>
#include <vector>

class CachedPanelStyle final : public QProxyStyle {
 public:
  CachedPanelStyle();  // on top of the application's style

  // Whether the pictures are drawn exactly as `style` draws the frames itself: a style
  // that paints through the platform's theme may not draw onto a transparent picture.
  static bool Suits(const QStyle& style);

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget = nullptr) const override;

  // What a picture depends on: everything the style reads from the option, and the
  // painter's font and scale. Compared field by field: a frame repaints a few times a
  // frame, and spelling this out as text to look it up cost as much as drawing it.
  // How many pictures are kept; never more than kMaxPictures.
  std::size_t KeptPictureCount() const { return pictures_.size(); }
  // A window has a few dozen distinct frames; the bound only keeps a style whose options
  // keep changing (a palette per frame, say) from growing without end.
  static constexpr std::size_t kMaxPictures = 64;

  struct PictureKey {
    int element = 0;
    QSize size;
    unsigned state = 0;
    qint64 palette = 0;
    int direction = 0;
    qreal scale = 1;
    QFont font;
    int fields[7] = {};  // the element's own option fields
    QString text;
    bool operator==(const PictureKey& other) const;
  };

 private:
  struct Picture {
    PictureKey key;
    QPixmap pixmap;
  };
  // The picture for `key`, drawn by `draw` into a new one when none is kept.
  template <class Option, class Draw>
  QPixmap Kept(const PictureKey& key, const Option& option, QPainter* painter, Draw draw) const;

  mutable std::vector<Picture> pictures_;
};
