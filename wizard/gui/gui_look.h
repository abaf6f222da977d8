// How the wizard looks: its fonts and its pictures.
//
// Fonts. Every page and the sheet get the dialog font enlarged by 1.1 (not
// with a Japanese user interface, whose glyphs are drawn for the size they
// have). The exterior pages' titles use the face and size of strings 151 and
// 152; a face the machine lacks falls back to the platform's sans serif, in
// bold when the face's name says so.
//
// Pictures are drawn here, not loaded: the header's logo, the exterior
// pages' watermark, and the icons of the lists and phases.
#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

#include "wizard/wiz_tree.h"

class QWidget;

// LC_ALL, LC_MESSAGES, LANG: the first that is set names Japanese ("ja...").
bool wiz_ui_is_japanese();
// Enlarges the widget's font and that of its direct children by 1.1, once.
void wiz_apply_dialog_font(QWidget *widget);
// The exterior pages' title font from strings 151 and 152.
QFont wiz_title_font();

QPixmap wiz_header_pixmap();      // the header's logo (bitmap 139)
QPixmap wiz_watermark_pixmap();   // the exterior pages' left side (bitmap 138)
QIcon wiz_done_icon();            // a request or phase done (icon 135)
QIcon wiz_failure_icon();         // the phase a request failed in (icon 146)
QIcon wiz_error_icon();           // a run or configuration with errors
QIcon wiz_tree_icon(wiz_icon kind);
