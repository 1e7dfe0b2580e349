#include "ui/qt/cached_panel_style.h"

#include <QPainter>
#include <QStyleOption>
#include <algorithm>
#include <iterator>

namespace {

enum Element { kEdit = 1, kBox = 2 };

CachedPanelStyle::PictureKey BaseKey(Element element, const QStyleOption& o, const QPainter& p) {
  CachedPanelStyle::PictureKey key;
  key.element = element;
  key.size = o.rect.size();
  key.state = static_cast<unsigned>(o.state);
  key.palette = o.palette.cacheKey();
  key.direction = static_cast<int>(o.direction);
  key.scale = p.device()->devicePixelRatio();
  key.font = p.font();
  return key;
}

bool Plain(const QPainter* p) {
  return p->device() != nullptr && p->transform().type() <= QTransform::TxTranslate && p->opacity() == 1.0 &&
         p->compositionMode() == QPainter::CompositionMode_SourceOver;
}

}  // namespace

bool CachedPanelStyle::PictureKey::operator==(const PictureKey& other) const {
  return element == other.element && size == other.size && state == other.state && palette == other.palette &&
         direction == other.direction && scale == other.scale &&
         std::equal(std::begin(fields), std::end(fields), std::begin(other.fields)) && text == other.text &&
         font == other.font;
}

template <class Option, class Draw>
QPixmap CachedPanelStyle::Kept(const PictureKey& key, const Option& option, QPainter* painter,
                               Draw draw) const {
  for (const Picture& kept : pictures_) {
    if (kept.key == key) return kept.pixmap;
  }
  const qreal scale = painter->device()->devicePixelRatio();
  QPixmap picture(option.rect.size() * scale);
  picture.setDevicePixelRatio(scale);
  picture.fill(Qt::transparent);
  Option at = option;
  at.rect.moveTo(0, 0);
  QPainter onPicture(&picture);
  onPicture.setFont(painter->font());
  onPicture.setRenderHints(painter->renderHints());
  draw(&at, &onPicture);
  onPicture.end();
  if (pictures_.size() >= kMaxPictures) pictures_.erase(pictures_.begin());
  pictures_.push_back(Picture{key, picture});
  return pictures_.back().pixmap;
}

CachedPanelStyle::CachedPanelStyle() = default;

bool CachedPanelStyle::Suits(const QStyle& style) {
  return style.name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
}

void CachedPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (element != PE_PanelLineEdit || frame == nullptr || !Plain(painter) || option->rect.isEmpty()) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  PictureKey key = BaseKey(kEdit, *frame, *painter);
  key.fields[0] = frame->lineWidth;
  key.fields[1] = frame->midLineWidth;
  key.fields[2] = static_cast<int>(frame->features);
  key.fields[3] = static_cast<int>(frame->frameShape);
  const QPixmap picture = Kept(key, *frame, painter, [&](const QStyleOptionFrame* at, QPainter* p) {
    QProxyStyle::drawPrimitive(element, at, p, widget);
  });
  painter->drawPixmap(option->rect.topLeft(), picture);
}

void CachedPanelStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                          QPainter* painter, const QWidget* widget) const {
  const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  // A checkable box has a mark that follows the mouse; it is drawn as is.
  if (control != CC_GroupBox || box == nullptr || (box->subControls & SC_GroupBoxCheckBox) ||
      !Plain(painter) || option->rect.isEmpty()) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  PictureKey key = BaseKey(kBox, *box, *painter);
  key.fields[0] = static_cast<int>(box->subControls);
  key.fields[1] = static_cast<int>(box->activeSubControls);
  key.fields[2] = static_cast<int>(box->textAlignment);
  key.fields[3] = static_cast<int>(box->textColor.rgba());
  key.fields[4] = box->lineWidth;
  key.fields[5] = box->midLineWidth;
  key.fields[6] = static_cast<int>(box->features);
  key.text = box->text;
  const QPixmap picture = Kept(key, *box, painter, [&](const QStyleOptionGroupBox* at, QPainter* p) {
    QProxyStyle::drawComplexControl(control, at, p, widget);
  });
  painter->drawPixmap(option->rect.topLeft(), picture);
}
