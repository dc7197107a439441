#include "window/qt_translations.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTranslator>

namespace larimo {
namespace {

QString YesCaption() {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Message"), QStringLiteral("?"),
                  QMessageBox::Yes | QMessageBox::No);
  return box.button(QMessageBox::Yes)->text();
}

TEST(QtTranslations, AJapaneseDesktopGetsJapaneseStandardDialogs) {
  const QString english = YesCaption();
  QTranslator* t = InstallQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan));
  ASSERT_NE(t, nullptr) << "Qt's Japanese translation is not installed";
  const QString saveAs = QCoreApplication::translate("QFileDialog", "Save As");
  const QString yes = YesCaption();
  QCoreApplication::removeTranslator(t);
  delete t;
  EXPECT_NE(saveAs, "Save As");
  EXPECT_TRUE(yes.contains(QStringLiteral("はい"))) << yes.toStdString();
  // Removed again, the captions are Qt's own once more.
  EXPECT_EQ(YesCaption(), english);
}

TEST(QtTranslations, ALanguageWithoutTranslationChangesNothing) {
  EXPECT_EQ(InstallQtTranslations(QLocale(QLocale::C)), nullptr);
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), "Save As");
}

}  // namespace
}  // namespace larimo
