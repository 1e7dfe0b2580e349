#pragma once
// The About box, template 100: the icon, the version line, a second line and "확인".
#include <QDialog>

#include "ui/qt/template_builder.h"

class CAboutDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  ~CAboutDlg() override;

  QWidget* Item(int id) const { return widgets_.Item(id); }
  const TemplateWidgets& Widgets() const { return widgets_; }

 private:
  TemplateWidgets widgets_;
};
