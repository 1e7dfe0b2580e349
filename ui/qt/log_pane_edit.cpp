#include "ui/qt/log_pane_edit.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

void PrepareLogPane(QPlainTextEdit* edit) {
  // Every line that comes into view is laid out once, and the lines come at a thousand
  // a second. The panes' Latin text needs no ligatures or contextual forms, so their
  // characters map straight to glyphs instead of passing through the full shaper, which
  // cost more than all the rest of laying out a line; scripts that need shaping (Arabic,
  // Indic) are still shaped, Hangul syllables map straight to glyphs. The panes scroll
  // sideways, so a line a few pixels wider without pair kerning moves nothing else.
  QFont font = edit->font();
  font.setStyleStrategy(QFont::PreferNoShaping);
  edit->setFont(font);
  QTextDocument* document = edit->document();
  // A block's layout throws its shaped glyphs away after laying out and again after each
  // paint, so a line in view was shaped once to size the view and once more every frame
  // it is painted. Keeping them costs a few kilobytes (the pane rule bounds the
  // document); the layouts are set up here, before the document's layout first sees
  // the new blocks.
  QObject::connect(document, &QTextDocument::contentsChange, edit, [document](int from, int, int added) {
    const QTextBlock last = document->findBlock(from + added);
    for (QTextBlock b = document->findBlock(from); b.isValid(); b = b.next()) {
      b.layout()->setCacheEnabled(true);
      if (b == last) break;
    }
  });
}

void ApplyPaneFrame(QPlainTextEdit* edit, bool clearFirst, const QString& text) {
  QTextDocument* document = edit->document();
  // With the view's updates off, moving its top line does not measure every line
  // between the old top and the new one to scroll the pixels already shown (all of
  // them change anyway); turning them back on repaints the view once.
  QWidget* view = edit->viewport();
  view->setUpdatesEnabled(false);
  // The appended text is not undoable; switching undo off for it empties the stack,
  // as the platform's edits do.
  document->setUndoRedoEnabled(false);
  QTextCursor end(document);
  // One edit: the document's layout and the view hear of the frame once.
  end.beginEditBlock();
  if (clearFirst) {
    end.select(QTextCursor::Document);
    end.removeSelectedText();
  }
  end.movePosition(QTextCursor::End);
  end.insertText(text);
  end.endEditBlock();
  // Scrolled to the bottom before the caret moves, so that bringing the caret into view
  // measures the lines in view, not every line between the old view and the end.
  QScrollBar* bar = edit->verticalScrollBar();
  bar->setValue(bar->maximum());
  edit->setTextCursor(end);
  edit->ensureCursorVisible();
  document->setUndoRedoEnabled(true);
  view->setUpdatesEnabled(true);
}
