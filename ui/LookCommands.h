#pragma once

class QWidget;
class CColorStatic;

// "Kolory" and "Czcionki" over the eight value controls (controls[0..7]): the choices apply at
// once; anything but OK restores all eight as they were.
void RunColoursCommand(QWidget& window, CColorStatic* controls);
void RunFontsCommand(QWidget& window, CColorStatic* controls);
