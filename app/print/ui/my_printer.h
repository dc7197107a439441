#pragma once
// Puts the printed report on one page. Works in centimetres from the top left
// corner of the printable area, sets fonts, writes texts at given positions,
// keeps the running position of the lines of the measurement conditions and
// paints the chart's picture. One instance serves one print job:
//
//   MyPrinter p;
//   if (!p.SetPrinter(&printer)) ...;   // starts the job
//   p.PrDate(...); p.PrTitle(...); y = p.PrSubTitle(...); ...
//   if (!p.PrintGraph(file)) { p.AbortPrint(); ... }
//   if (!p.EndPrint()) ...;            // sends the page
//
// Text positions give the top left corner of the text, as on the screen.

#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

#include "store/vb_types.h"

class QPrinter;

namespace larimo {

class MyPrinter {
 public:
  // The face of every text of the report. Mapped to an installed Mincho
  // face (IPA P明朝) when the program starts printing.
  static const QString kFontName;

  MyPrinter();
  // A job that was neither ended nor aborted is aborted: nothing half-done
  // is sent.
  ~MyPrinter();
  MyPrinter(const MyPrinter&) = delete;
  MyPrinter& operator=(const MyPrinter&) = delete;

  // Keeps the printer, starts the job on it and takes the printable area in
  // centimetres; LineY starts at 2.0. False when the job cannot be started
  // (for example an output file that cannot be written); then nothing is
  // drawn.
  bool SetPrinter(QPrinter* printer);

  // Font size in points, then the face.
  void SetFont(Single fSize, const QString& fname);
  // Each flag is a Boolean in the loose sense: any non-zero value sets it.
  void SetFontstyle(int fBold, int fItalic, int fStrikethru, int fUnderline);

  // Prints txt with its top left corner at (x, y) cm.
  void LocateStr(Single x, Single y, const QString& txt);
  // 12 pt, centred across the page at 1.0 cm.
  void PrTitle(const QString& title);
  // 10 pt at LineY, a quarter of the width from the left; then LineY grows by
  // the text's height plus 0.2 cm. Returns the new LineY.
  Single PrSubTitle(const QString& title);
  // 10 pt at height y, a quarter of the width from the left; 3 cm further
  // right when flg is non-zero (a value column).
  void PrMeasParam(Single y, const QString& pstr, Integer flg);
  // 10 pt, 4 cm from the right edge at 0.5 cm.
  void PrDate(const QString& mdate);
  // Paints the picture in file fname 0.8 of the width wide and 12.5 cm high,
  // centred, ending 0.8 cm above the bottom. An .svg file is painted as a
  // vector picture, any other picture Qt reads as an image. False when the
  // file holds no picture (nothing is painted then).
  bool PrintGraph(const QString& fname);
  // Ends the job, which sends the page. False when the printer reported an
  // error.
  bool EndPrint();
  // Drops the job after a failure. A file the job was writing is removed.
  void AbortPrint();

  // Where PrintGraph puts the picture on a printable area of the given size,
  // in centimetres.
  static QRectF GraphArea(Single prWidth, Single prHeight);

  Single GetStrH() const { return StrH; }
  Single GetPrWidth() const { return PrWidth; }
  Single GetPrHeight() const { return PrHeight; }
  Single GetLineY() const { return LineY; }

 private:
  // Width and height of txt in the current font, in centimetres.
  Single TextWidth(const QString& txt) const;
  Single TextHeight(const QString& txt) const;

  QPrinter* PrinterObj = nullptr;
  QPainter painter_;
  QFont font_;
  Single PrWidth = 0;
  Single PrHeight = 0;
  Single CenterX = 0;
  Single LineY = 0;
  Single StrH = 0;
  // Device pixels per centimetre.
  double pxPerCmX_ = 1;
  double pxPerCmY_ = 1;
};

}  // namespace larimo
