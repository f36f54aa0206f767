// NamespaceDialog: the installation-type dialog, built in code.
#include "app/NamespaceDialog.h"

#include <QDialogButtonBox>
#include <QScreen>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "common/UQK_IniFile.h"

namespace vey::app {

NamespaceDialog::NamespaceDialog(const platform::GameFileSystem& fs, std::filesystem::path dataPath, QWidget* parent)
    : QDialog(parent), fs_(fs), dataPath_(dataPath), types_(fs, std::move(dataPath)) {
  setWindowTitle(QStringLiteral("VEYPatcher - Select installation type"));
  setObjectName(QStringLiteral("NamespaceForm"));
  auto* title = new QLabel(QStringLiteral("Please select what to install:"), this);
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  big.setBold(true);
  title->setFont(big);

  cbNamespace = new QComboBox(this);
  cbNamespace->setObjectName(QStringLiteral("cbNamespace"));
  cbNamespace->setEditable(false);
  txtDesc = new QPlainTextEdit(this);
  txtDesc->setObjectName(QStringLiteral("txtDesc"));
  txtDesc->setReadOnly(true);
  txtDesc->setMinimumHeight(fontMetrics().lineSpacing() * 6);

  btnOK = new QPushButton(QStringLiteral("&Select"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("&Exit"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(btnOK, QDialogButtonBox::AcceptRole);
  buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 14, 16, 12);
  layout->setSpacing(10);
  layout->addWidget(title);
  layout->addWidget(cbNamespace);
  layout->addWidget(txtDesc, 1);
  layout->addWidget(buttons);
  setMinimumWidth(420);
  // A fixed border: the dialog keeps the size its contents ask for.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(cbNamespace, &QComboBox::currentIndexChanged, this, &NamespaceDialog::NamespaceChanged);
  FillList();
}

void NamespaceDialog::FillList() {
  const QSignalBlocker block(cbNamespace);
  cbNamespace->clear();
  if (!types_.Load()) {
    btnOK->setEnabled(false);
    txtDesc->clear();
    return;
  }
  btnOK->setEnabled(true);
  for (const std::string& name : types_.DisplayNames()) cbNamespace->addItem(FromWin1252(name));
  if (cbNamespace->count() > 0) cbNamespace->setCurrentIndex(0);
  NamespaceChanged(cbNamespace->currentIndex());
}

std::string NamespaceDialog::UnusableSubFolder() const {
  if (types_.Selected() < 0) return {};
  const std::filesystem::path file = fs_.Child(dataPath_, kNamespacesFile);
  if (!fs_.IsFile(file)) return {};
  const std::string sub = TQK_Inifile(file.string()).ReadString(types_.SelectedSection(), "DataPath", "");
  if (sub.empty()) return {};
  const std::filesystem::path chosen = types_.GetNamespacePath();
  return chosen.lexically_normal() == (dataPath_ / "").lexically_normal() ? sub : std::string();
}

std::string NamespaceDialog::SelectedName() const {
  const std::vector<std::string> names = types_.DisplayNames();
  const int i = types_.Selected();
  return i >= 0 && i < static_cast<int>(names.size()) ? names[i] : std::string();
}

std::string NamespaceDialog::SelectedId() const {
  const std::vector<std::string>& ids = types_.NamespaceIds();
  const int i = types_.Selected();
  return i >= 0 && i < static_cast<int>(ids.size()) ? ids[i] : std::string();
}

void NamespaceDialog::PlaceOver(const QWidget& window) {
  adjustSize();
  QRect area;
  if (window.isVisible())
    area = window.frameGeometry();
  else if (const QScreen* screen = window.screen())
    area = screen->availableGeometry();
  // Moved by hand, the dialog keeps this place when it is shown.
  if (area.isValid()) move(area.center() - rect().center());
}

void NamespaceDialog::NamespaceChanged(int index) {
  if (index >= 0) types_.Select(index);
  txtDesc->setPlainText(FromWin1252(types_.GetDescription()));
}

}  // namespace vey::app

