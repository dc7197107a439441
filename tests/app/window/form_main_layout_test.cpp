// The main window's layout: every control inside the window, none covering
// another, every caption with the room it needs. With LARIMO_SHOTS set to a
// folder, the window's picture is saved there (to look at under Xvfb at
// several resolutions).
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "print/ui/app_fonts.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

TEST(FormMainLayout, ControlsFitWithoutOverlapping) {
  InstallFontSubstitutions();
  test::RecordingUi ui;
  ModuleData data;
  FormMain w(data);
  w.show();
  QApplication::processEvents();
  const QRect inside = w.rect();

  std::vector<QWidget*> controls = {w.Chart2D1, w.Frame1, w.Frame2, w.Frame4, w.lblFull};
  for (QPushButton* b : {w.cmdStart, w.cmdStop, w.cmdSetting, w.cmdMeasInfo, w.cmdRead, w.cmdSave,
                         w.cmdDisp, w.cmdPrint, w.cmdEnd}) {
    controls.push_back(b);
  }
  for (QPushButton* b : w.cmdMove) controls.push_back(b);
  for (QWidget* c : controls) {
    EXPECT_TRUE(inside.contains(c->geometry()))
        << c->metaObject()->className() << " " << c->objectName().toStdString();
  }
  for (std::size_t i = 0; i < controls.size(); ++i) {
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << i << " overlaps " << j;
    }
  }
  // Captions get the room they ask for.
  for (QWidget* c : controls) {
    if (auto* b = qobject_cast<QPushButton*>(c); b && b->text() != QStringLiteral("○")) {
      EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
    }
  }
  for (QWidget* c : std::vector<QWidget*>{w.optWid[0], w.optWid[1], w.optWid[2], w.Label5, w.Combo1,
                                          w.cmdLeft, w.cmdRight}) {
    EXPECT_TRUE(w.Frame2->rect().contains(c->geometry()));
    EXPECT_GE(c->width(), c->minimumSizeHint().width());
  }
  for (QWidget* c :
       std::vector<QWidget*>{w.optHei[0], w.optHei[1], w.txtVhi, w.txtVlow, w.cmdSetScaleY}) {
    EXPECT_TRUE(w.Frame4->rect().contains(c->geometry()));
  }
  // The forecast of the full buffer holds its widest lines.
  for (const QString& line :
       {QStringLiteral("終了予定 12/31 23:59"), QStringLiteral("満杯まで 2444:26:40")})
    EXPECT_GE(w.lblFull->contentsRect().width(), w.lblFull->fontMetrics().horizontalAdvance(line));
  // The readouts hold a reading of the widest kind.
  for (QLabel* l : w.Label1) {
    EXPECT_GE(l->contentsRect().width(),
              l->fontMetrics().horizontalAdvance(QStringLiteral("-1234.567")));
  }
  // The corner buttons sit in the corners.
  EXPECT_EQ(w.cmdMove[0]->pos(), QPoint(0, 0));
  EXPECT_EQ(w.cmdMove[3]->geometry().bottomRight(), inside.bottomRight());

  const QString shots = qEnvironmentVariable("LARIMO_SHOTS");
  if (!shots.isEmpty()) {
    QDir().mkpath(shots);
    const QString name = QStringLiteral("form_main_%1x%2.png").arg(w.width()).arg(w.height());
    EXPECT_TRUE(w.grab().save(QDir(shots).filePath(name)));
  }
}

}  // namespace
}  // namespace larimo
