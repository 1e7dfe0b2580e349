#include "ui/qt/template_builder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "ui/qt/resource_images.h"

namespace {

// Rounds n * numerator / denominator to the nearest integer, halves away from zero.
int MulDiv(int n, int numerator, int denominator) {
  const long long product = static_cast<long long>(n) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : -((-product + half) / denominator));
}

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// Check boxes and radio buttons of the templates leave about 4 pixels between the mark
// and the text; the desktop styles leave more, which the narrow rectangles cannot spare.
const QString kMarkSpacing = QStringLiteral("spacing: 4px;");

QWidget* CreateItem(const DialogItem& item, ItemKind kind, QWidget* parent, const DialogUnits& units) {
  const QRect rect = units.Rect(item.x, item.y, item.cx, item.cy);
  QWidget* widget = nullptr;
  switch (kind) {
    case ItemKind::kEdit: {
      auto* edit = new QLineEdit(parent);
      edit->setReadOnly((item.style & style::kEditReadOnly) != 0);
      widget = edit;
      break;
    }
    case ItemKind::kMultiLineEdit: {
      auto* edit = new QPlainTextEdit(parent);
      // Lines are not wrapped (auto h-scroll) and no scroll bar is shown (the style has
      // neither scroll bar); the view follows the caret.
      edit->setLineWrapMode(QPlainTextEdit::NoWrap);
      edit->setVerticalScrollBarPolicy((item.style & style::kVScroll) ? Qt::ScrollBarAsNeeded
                                                                      : Qt::ScrollBarAlwaysOff);
      edit->setHorizontalScrollBarPolicy((item.style & style::kHScroll) ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
      edit->setReadOnly((item.style & style::kEditReadOnly) != 0);
      // In a dialog, Tab moves the focus on; Enter is a line break only with "want return".
      edit->setTabChangesFocus(true);
      widget = edit;
      break;
    }
    case ItemKind::kComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable((item.style & style::kComboTypeMask) == style::kComboDropDown);
      combo->setInsertPolicy(QComboBox::NoInsert);
      // The rectangle's height is that of the opened list; the field takes the font's.
      widget = combo;
      break;
    }
    case ItemKind::kPushButton:
    case ItemKind::kDefPushButton: {
      auto* button = new QPushButton(Utf8(item.text), parent);
      button->setAutoDefault(false);
      button->setDefault(kind == ItemKind::kDefPushButton);
      widget = button;
      break;
    }
    case ItemKind::kCheckBox:
      widget = new QCheckBox(Utf8(item.text), parent);
      widget->setStyleSheet(kMarkSpacing);
      break;
    case ItemKind::kRadioButton:
      widget = new QRadioButton(Utf8(item.text), parent);
      widget->setStyleSheet(kMarkSpacing);
      break;
    case ItemKind::kGroupBox: {
      auto* box = new QGroupBox(Utf8(item.text), parent);
      // Only a frame drawn behind its neighbours; clicks go to the window.
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = box;
      break;
    }
    case ItemKind::kStaticText: {
      auto* label = new QLabel(Utf8(item.text), parent);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
    case ItemKind::kPicture: {
      auto* label = new QLabel(parent);
      const QPixmap bitmap = ResourceBitmap(item.resource);
      label->setPixmap(bitmap);
      widget = label;
      // The control takes the bitmap's own size.
      widget->setGeometry(QRect(rect.topLeft(), bitmap.size()));
      widget->setFocusPolicy(Qt::NoFocus);
      return widget;
    }
    case ItemKind::kIcon: {
      auto* label = new QLabel(parent);
      const int side = label->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
      label->setPixmap(ResourceIcon(item.resource).pixmap(side, side));
      widget = label;
      widget->setGeometry(QRect(rect.topLeft(), QSize(side, side)));
      widget->setFocusPolicy(Qt::NoFocus);
      return widget;
    }
  }
  if (kind == ItemKind::kComboBox) {
    widget->setGeometry(rect.x(), rect.y(), rect.width(), widget->sizeHint().height());
  } else {
    widget->setGeometry(rect);
  }
  return widget;
}

Qt::FocusPolicy FocusPolicyFor(const DialogItem& item, ItemKind kind) {
  switch (kind) {
    case ItemKind::kGroupBox:
    case ItemKind::kStaticText:
    case ItemKind::kPicture:
    case ItemKind::kIcon: return Qt::NoFocus;
    default:
      // Controls without a tab stop still take the focus when clicked.
      return HasTabStop(item) ? Qt::StrongFocus : Qt::ClickFocus;
  }
}

}  // namespace

DialogUnits DialogUnits::ForFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogUnits units;
  units.baseX = (alphabet / 26 + 1) / 2;
  units.baseY = metrics.ascent() + metrics.descent();
  return units;
}

int DialogUnits::X(int units) const { return MulDiv(units, baseX, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, baseY, 8); }
QRect DialogUnits::Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }

QFont TemplateFont(const DialogTemplate& dialogTemplate) {
  // DejaVu Sans Condensed is about as wide as the font the templates were laid out for,
  // so every label fits its rectangle, and its figures read clearly at this size. The
  // Korean texts come from a Nanum font; the plain DejaVu Sans is the last resort.
  QFont font;
  font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("NanumBarunGothic"),
                    QStringLiteral("NanumGothic"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(dialogTemplate.pointSize);
  return font;
}

QWidget* TemplateWidgets::Item(int id) const {
  if (id == kNoId) return nullptr;
  for (const BuiltItem& built : items_) {
    if (built.item->id == id) return built.widget;
  }
  return nullptr;
}

QButtonGroup* TemplateWidgets::RadioGroupOf(int id) const {
  QWidget* widget = Item(id);
  auto* button = qobject_cast<QAbstractButton*>(widget);
  if (button == nullptr) return nullptr;
  for (QButtonGroup* group : radioGroups_) {
    if (group->buttons().contains(button)) return group;
  }
  return nullptr;
}

TemplateWidgets BuildTemplate(const DialogTemplate& dialogTemplate, QWidget* parent,
                              const DialogUnits& units) {
  TemplateWidgets built;
  QButtonGroup* currentGroup = nullptr;
  QWidget* previousTabStop = nullptr;
  for (const DialogItem& item : dialogTemplate.items) {
    const ItemKind kind = KindOf(item);
    QWidget* widget = CreateItem(item, kind, parent, units);
    widget->setFocusPolicy(FocusPolicyFor(item, kind));
    widget->setProperty("controlId", item.id);
    if (item.id != kNoId) widget->setObjectName(QStringLiteral("item%1").arg(item.id));
    // Later siblings are drawn over earlier ones; the template wants the first on top.
    widget->lower();

    // Radio buttons form a group from one with the group style up to the next item
    // with the group style; checking one clears the others.
    if (kind == ItemKind::kRadioButton) {
      if (currentGroup == nullptr || (item.style & style::kGroup)) {
        currentGroup = new QButtonGroup(parent);
        currentGroup->setExclusive(true);
        built.radioGroups_.push_back(currentGroup);
      }
      currentGroup->addButton(static_cast<QAbstractButton*>(widget), item.id);
    } else if (item.style & style::kGroup) {
      currentGroup = nullptr;
    }

    // Radio buttons hold their place in the chain whether or not they are a tab stop
    // now: Tab visits only the widgets whose policy takes it (see below).
    if ((HasTabStop(item) || kind == ItemKind::kRadioButton) && kind != ItemKind::kGroupBox &&
        kind != ItemKind::kStaticText) {
      if (previousTabStop != nullptr) QWidget::setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
    built.items_.push_back(BuiltItem{&item, kind, widget});
  }
  // As on the platform the templates come from, checking an automatic radio button makes
  // it a tab stop and unchecking takes that away: Tab reaches a group at its checked
  // button, whether a click or a refresh checked it.
  for (QButtonGroup* group : built.radioGroups_) {
    QObject::connect(group, &QButtonGroup::buttonToggled, [](QAbstractButton* button, bool checked) {
      button->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
    });
  }
  return built;
}

void AddComboInitData(const DialogTemplate& dialogTemplate, const TemplateWidgets& widgets) {
  for (const ComboInitData& init : dialogTemplate.comboInit) {
    auto* combo = qobject_cast<QComboBox*>(widgets.Item(init.id));
    if (combo == nullptr) continue;
    bool sorted = false;
    for (const BuiltItem& built : widgets.Items()) {
      if (built.widget == combo) sorted = (built.item->style & style::kComboSort) != 0;
    }
    for (const char* entry : init.items) {
      const QString text = QString::fromUtf8(entry);
      int at = combo->count();
      if (sorted) {
        at = 0;
        while (at < combo->count() && QString::compare(combo->itemText(at), text, Qt::CaseInsensitive) <= 0) {
          ++at;
        }
      }
      combo->insertItem(at, text);
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
  }
}
