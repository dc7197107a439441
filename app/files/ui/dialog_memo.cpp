#include "files/ui/dialog_memo.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "files/cp932.h"
#include "files/csv_file.h"
#include "files/file_filters.h"
#include "files/measurement_file.h"
#include "files/save_name.h"
#include "store/user_interface.h"

namespace larimo {

DialogMemo::DialogMemo(ModuleData& d, std::function<void()> saved, QWidget* parent)
    : QDialog(parent), d_(d), saved_(std::move(saved)) {
  setWindowTitle(QStringLiteral("データ保存"));
  setModal(true);
  BuildForm();
  FormLoad();
}

void DialogMemo::BuildForm() {
  auto* memo = new QGroupBox(QStringLiteral("メモ"), this);
  auto* memoGrid = new QGridLayout(memo);
  const QStringList numbers = {QStringLiteral("１．"), QStringLiteral("２．"),
                               QStringLiteral("３．"), QStringLiteral("４．"),
                               QStringLiteral("５．")};
  for (int i = 0; i < 5; ++i) {
    const auto k = static_cast<size_t>(i);
    txtMemo[k] = new QLineEdit(memo);
    // As long as a text field of the file can be (a line edit would stop at
    // 32,767 characters without a word).
    txtMemo[k]->setMaxLength(static_cast<int>(kMaxTextBytes));
    txtMemo[k]->setMinimumWidth(txtMemo[k]->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40);
    memoGrid->addWidget(new QLabel(numbers[i], memo), i, 0);
    memoGrid->addWidget(txtMemo[k], i, 1);
  }

  auto* type = new QGroupBox(QStringLiteral("ファイルの保存形式"), this);
  auto* typeBox = new QHBoxLayout(type);
  optFiletype[0] = new QRadioButton(QStringLiteral("CSV"), type);
  optFiletype[1] = new QRadioButton(QStringLiteral("専用"), type);
  typeBox->addWidget(optFiletype[0]);
  typeBox->addSpacing(24);
  typeBox->addWidget(optFiletype[1]);
  typeBox->addStretch(1);

  CancelButton = new QPushButton(QStringLiteral("戻る"), this);
  OKButton = new QPushButton(QStringLiteral("次へ"), this);
  OKButton->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(type, 1);
  buttons->addSpacing(12);
  buttons->addWidget(CancelButton, 0, Qt::AlignBottom);
  buttons->addWidget(OKButton, 0, Qt::AlignBottom);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memo);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
}

void DialogMemo::FormLoad() {
  // Every opening starts with CSV chosen and the memo lines of the data in memory.
  optFiletype[0]->setChecked(true);
  for (size_t i = 0; i < txtMemo.size(); ++i) txtMemo[i]->setText(d_.Memo[i]);
}

bool DialogMemo::MemosCanBeStored(bool ownFormat) {
  QStringList memos;
  QStringList tooLong;
  for (size_t i = 0; i < txtMemo.size(); ++i) {
    memos.append(txtMemo[i]->text());
    // Only the measurement file counts its texts; the CSV export has no limit.
    if (ownFormat && EncodeCp932(memos.back()).size() > kMaxTextBytes)
      tooLong.append(QString::number(i + 1));
  }
  // The line breaks between the memos are ASCII, so they are never found.
  const QString unstorable = Cp932Unstorable(memos.join(QLatin1Char('\n')));
  if (unstorable.isEmpty() && tooLong.isEmpty()) return true;
  QStringList lines;
  if (!unstorable.isEmpty()) {
    QStringList shown;
    for (qsizetype i = 0; i < unstorable.size(); ++i) {
      const qsizetype len = unstorable.at(i).isHighSurrogate() ? 2 : 1;
      shown.append(QStringLiteral("「%1」").arg(unstorable.mid(i, len)));
      i += len - 1;
    }
    lines.append(QStringLiteral("メモに保存できない文字があります：%1\n"
                                "これらの文字は「?」として保存されます。")
                     .arg(shown.join(QString())));
  }
  if (!tooLong.isEmpty()) {
    lines.append(QStringLiteral("メモ %1 は長すぎるため、%2 バイトを超える部分は保存されません。")
                     .arg(tooLong.join(QStringLiteral("、")))
                     .arg(kMaxTextBytes));
  }
  lines.append(QStringLiteral("このまま保存しますか？"));
  return AskYesNo(lines.join(QLatin1Char('\n')));
}

void DialogMemo::OKButton_Click() {
  // Memo text the file cannot hold is named before anything is written; the
  // user may go back and change it.
  const bool csv = optFiletype[0]->isChecked();
  if (!MemosCanBeStored(!csv)) return;
  FileRequest request;
  request.mode = FileRequest::Mode::Save;
  request.filter = csv ? kCsvFilter : kMeasurementFilter;
  request.overwritePrompt = true;
  const std::optional<QString> chosen = ChooseSaveName(request);
  if (!chosen) return;  // the dialog stays open with its entries
  const QString name = *chosen;

  // The writers take the memo lines from the store; should the save fail,
  // the store gets its old lines back and the dialog keeps the new ones.
  const std::array<QString, 5> previous = d_.Memo;
  for (size_t i = 0; i < txtMemo.size(); ++i) d_.Memo[i] = txtMemo[i]->text();
  QString error;
  const bool saved = csv ? SaveCsvFile(d_, name, &error) : SaveDataFile(d_, name, &error);
  if (!saved) {
    d_.Memo = previous;
    ShowMessage(FileFailureText(error, name, QStringLiteral("ファイルを保存できませんでした。")),
                kMsgTitle, MsgIcon::Exclamation);
    return;
  }
  if (saved_) saved_();  // the run is safe in its file
  accept();
}

}  // namespace larimo
