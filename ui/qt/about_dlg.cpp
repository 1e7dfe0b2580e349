#include "ui/qt/about_dlg.h"

#include <QAbstractButton>
#include <QPushButton>

#include "ui/common/dialog_template.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const DialogTemplate& t = AboutDialogTemplate();
  setWindowTitle(QString::fromUtf8(t.title));
  // A modal frame: a title and a close box, not resizable.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(TemplateFont(t));
  const DialogUnits units = DialogUnits::ForFont(font());
  widgets_ = BuildTemplate(t, this, units);
  setFixedSize(units.X(t.cx), units.Y(t.cy));
  // The OK button (id 1) ends the box; Enter presses it as the default button.
  if (auto* ok = qobject_cast<QPushButton*>(widgets_.Item(1))) {
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  }
}

CAboutDlg::~CAboutDlg() = default;
