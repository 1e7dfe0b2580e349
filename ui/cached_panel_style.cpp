#include "ui/cached_panel_style.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOption>

namespace {

// What the picture of an element depends on: everything the style reads from the option
// and the painter's font and scale. Anything else (a transformed painter) is drawn as is.
QString BaseKey(const char* element, const QStyleOption& o, const QPainter& p) {
  return QStringLiteral("kestravon-%1-%2x%3-%4-%5-%6-%7-%8")
      .arg(QLatin1String(element))
      .arg(o.rect.width())
      .arg(o.rect.height())
      .arg(static_cast<uint>(o.state))
      .arg(o.palette.cacheKey())
      .arg(static_cast<int>(o.direction))
      .arg(p.device()->devicePixelRatio())
      .arg(p.font().key());
}

bool Plain(const QPainter* p) {
  return p->device() != nullptr && p->transform().type() <= QTransform::TxTranslate &&
         p->opacity() == 1.0 && p->compositionMode() == QPainter::CompositionMode_SourceOver;
}

// Draws the element from the kept picture, first drawing it into one when there is none.
template <class Option, class Draw>
void DrawKept(const QString& key, const Option& option, QPainter* painter, Draw draw) {
  QPixmap picture;
  if (!QPixmapCache::find(key, &picture)) {
    const qreal scale = painter->device()->devicePixelRatio();
    picture = QPixmap(option.rect.size() * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    Option at = option;
    at.rect.moveTo(0, 0);
    QPainter onPicture(&picture);
    onPicture.setFont(painter->font());
    onPicture.setRenderHints(painter->renderHints());
    draw(&at, &onPicture);
    onPicture.end();
    QPixmapCache::insert(key, picture);
  }
  painter->drawPixmap(option.rect.topLeft(), picture);
}

}  // namespace

CachedPanelStyle::CachedPanelStyle() = default;

bool CachedPanelStyle::Suits(const QStyle& style) {
  return style.name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
}

void CachedPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                     QPainter* painter, const QWidget* widget) const {
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (element != PE_PanelLineEdit || frame == nullptr || !Plain(painter) || option->rect.isEmpty()) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const QString key = BaseKey("edit", *frame, *painter) +
                      QStringLiteral("-%1-%2-%3-%4")
                          .arg(frame->lineWidth)
                          .arg(frame->midLineWidth)
                          .arg(static_cast<int>(frame->features))
                          .arg(static_cast<int>(frame->frameShape));
  DrawKept(key, *frame, painter, [&](const QStyleOptionFrame* at, QPainter* p) {
    QProxyStyle::drawPrimitive(element, at, p, widget);
  });
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
  const QString key = BaseKey("box", *box, *painter) +
                      QStringLiteral("-%1-%2-%3-%4-%5-%6-%7")
                          .arg(static_cast<uint>(box->subControls))
                          .arg(static_cast<uint>(box->activeSubControls))
                          .arg(static_cast<int>(box->textAlignment))
                          .arg(box->textColor.rgba())
                          .arg(box->lineWidth)
                          .arg(box->midLineWidth)
                          .arg(static_cast<int>(box->features)) +
                      QLatin1Char('-') + box->text;
  DrawKept(key, *box, painter, [&](const QStyleOptionGroupBox* at, QPainter* p) {
    QProxyStyle::drawComplexControl(control, at, p, widget);
  });
}
