#pragma once
// How often the window shows what the worker changed. A mining second brings a thousand
// log blocks and a new figure every step: at one picture a display frame (16 ms) every
// line of a pane is new in every picture and no one can read it, while the window's
// thread spends most of its time drawing those lines. Twenty pictures a second read as
// live and cost a third as much. What the user does (a click, a key) is shown at once.
constexpr int kReadingPaceMs = 50;
