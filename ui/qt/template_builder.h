#pragma once
// Turns a dialog template into widgets: one child widget per item, placed at the pixel
// rectangle its dialog units stand for, with the behaviour its class and style give it.
#include <QFont>
#include <QRect>
#include <vector>

#include "ui/common/dialog_template.h"

class QButtonGroup;
class QWidget;

// Dialog units of a font: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height, as the window system
// that the templates were made for computes them.
struct DialogUnits {
  int baseX = 0;  // average character width in pixels
  int baseY = 0;  // character height in pixels

  static DialogUnits ForFont(const QFont& font);
  int X(int units) const;
  int Y(int units) const;
  QRect Rect(int x, int y, int cx, int cy) const;
};

// The font that stands in for a template's font: a sans font at the template's size.
QFont TemplateFont(const DialogTemplate& dialogTemplate);

struct BuiltItem {
  const DialogItem* item = nullptr;
  ItemKind kind = ItemKind::kStaticText;
  QWidget* widget = nullptr;
};

class TemplateWidgets {
 public:
  const std::vector<BuiltItem>& Items() const { return items_; }
  QWidget* Item(int id) const;
  // The radio group the item with `id` belongs to, if any.
  QButtonGroup* RadioGroupOf(int id) const;

 private:
  friend TemplateWidgets BuildTemplate(const DialogTemplate&, QWidget*, const DialogUnits&);
  std::vector<BuiltItem> items_;
  std::vector<QButtonGroup*> radioGroups_;
};

// Creates the items as children of `parent`, in template order: the first item ends
// on top, Tab visits the items with a tab stop in template order. Push buttons are not
// "auto-default": Enter on a focused push button is the dialog's business.
TemplateWidgets BuildTemplate(const DialogTemplate& dialogTemplate, QWidget* parent,
                              const DialogUnits& units);

// Adds the template's initial list items to its combo boxes (sorted where the style
// asks for it) and leaves each combo's field empty.
void AddComboInitData(const DialogTemplate& dialogTemplate, const TemplateWidgets& widgets);
