#pragma once
// A log pane's frame edit. The mining pane takes a thousand blocks a second and is
// emptied every few frames (the 4096-character rule), so nearly all of its text is
// inserted and dropped without ever being on screen: the edit is built so that only
// the lines in view are ever laid out, and each of those is shaped once.
#include <QString>

class QPlainTextEdit;

// Called once per pane, before the first frame's edit.
void PrepareLogPane(QPlainTextEdit* edit);

// One frame's net effect on the pane: emptied first when `clearFirst`, then `text`
// (line breaks already as the pane's) appended at the end as one edit, not undoable;
// the caret ends at the end, scrolled into view.
void ApplyPaneFrame(QPlainTextEdit* edit, bool clearFirst, const QString& text);
