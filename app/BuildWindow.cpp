// BuildWindow: the build's table, details and options, and the worker runs.
#include "app/BuildWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QStyle>

#include "app/QtText.h"
#include "platform/RunJournal.h"

namespace vey::app {
namespace {

QString Html(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

// The states a person must act on before the mod can be installed.
bool NeedsAttention(const QString& state) {
  static const QStringList kWords{"refused",        "a step it cannot do", "missing download", "depends on a mod not chosen",
                                  "needs a choice", "failed",              "changed since"};
  return kWords.contains(state);
}

QIcon IconOf(const QString& state) {
  QStyle* style = QApplication::style();
  if (state == "ready" || state == "installed") return style->standardIcon(QStyle::SP_DialogApplyButton);
  if (state == "by hand") return style->standardIcon(QStyle::SP_MessageBoxInformation);
  if (state == "refused" || state == "failed" || state == "a step it cannot do")
    return style->standardIcon(QStyle::SP_MessageBoxCritical);
  if (NeedsAttention(state)) return style->standardIcon(QStyle::SP_MessageBoxWarning);
  return {};
}

std::vector<std::string> JournalStates(const modlist::BuildSession& session, const std::string& game) {
  std::vector<std::string> states(session.plan.mods.size());
  if (game.empty()) return states;
  try {
    const auto runs = platform::ListRuns(game, platform::RunDetail::Header);
    for (std::size_t i = 0; i < states.size(); ++i) states[i] = modlist::InstalledState(runs, session.plan.mods[i]);
  } catch (const std::exception&) {
    // A journal that cannot be read shows no installed state; the install says why.
  }
  return states;
}

}  // namespace

bool IsBuildFilePath(const QString& path) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || file.size() > static_cast<qint64>(modlist::kMaxBuildFileBytes) ||
      !file.open(QIODevice::ReadOnly))
    return false;
  const QByteArray text = file.readAll();
  return modlist::LooksLikeBuildFile(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

BuildWindow::BuildWindow(QString buildFile, QString downloads, QString game, QWidget* parent)
    : QMainWindow(parent), buildFile_(std::move(buildFile)), downloads_(std::move(downloads)), game_(std::move(game)) {
  BuildControls();
  drain_.setInterval(40);
  connect(&drain_, &QTimer::timeout, this, &BuildWindow::Drain);
}

BuildWindow::~BuildWindow() {
  cancel_ = true;
  if (worker_) worker_->wait();
}

void BuildWindow::BuildControls() {
  setWindowTitle(QStringLiteral("VEYPatcher: %1").arg(QFileInfo(buildFile_).fileName()));
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  lblBuild = new QLabel(central);
  lblBuild->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(lblBuild);
  auto folderRow = [&](const QString& caption, QLabel*& label, QPushButton*& button, const QString& buttonText) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(caption, central));
    label = new QLabel(central);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(label, 1);
    button = new QPushButton(buttonText, central);
    row->addWidget(button);
    layout->addLayout(row);
  };
  folderRow(QStringLiteral("Downloads:"), lblDownloads, btnDownloads, QStringLiteral("Change &downloads..."));
  folderRow(QStringLiteral("Game:"), lblGame, btnGame, QStringLiteral("Change &game..."));
  connect(btnDownloads, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Downloads folder"), downloads_);
    if (!folder.isEmpty()) SetDownloadsFolder(folder);
  });
  connect(btnGame, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Game folder"), game_);
    if (!folder.isEmpty()) SetGameFolder(folder);
  });

  cbAttention = new QCheckBox(QStringLiteral("Needs &attention"), central);
  connect(cbAttention, &QCheckBox::toggled, this, &BuildWindow::ApplyFilter);
  layout->addWidget(cbAttention);

  auto* splitter = new QSplitter(Qt::Horizontal, central);
  tblMods = new QTableWidget(0, 5, splitter);
  tblMods->setHorizontalHeaderLabels({QStringLiteral("Chosen"), QStringLiteral("State"), QStringLiteral("Name"),
                                      QStringLiteral("Author"), QStringLiteral("Category")});
  tblMods->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblMods->setSelectionMode(QAbstractItemView::SingleSelection);
  tblMods->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblMods->verticalHeader()->setVisible(false);
  tblMods->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
  tblMods->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tblMods->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  connect(tblMods, &QTableWidget::itemSelectionChanged, this, &BuildWindow::ShowDetails);
  connect(tblMods, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (updating_ || item->column() != 0) return;
    ModToggled(item->row(), item->checkState() == Qt::Checked);
  });
  auto* details = new QWidget(splitter);
  auto* detailsLayout = new QVBoxLayout(details);
  detailsLayout->setContentsMargins(0, 0, 0, 0);
  txtDetails = new QTextBrowser(details);
  txtDetails->setOpenExternalLinks(true);
  detailsLayout->addWidget(txtDetails, 1);
  paneOptions = new QWidget(details);
  paneOptions->setLayout(new QVBoxLayout);
  detailsLayout->addWidget(paneOptions);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  layout->addWidget(splitter, 3);

  lblCurrent = new QLabel(central);
  layout->addWidget(lblCurrent);
  pbar = new QProgressBar(central);
  pbar->setTextVisible(true);
  layout->addWidget(pbar);
  txtLog = new QPlainTextEdit(central);
  txtLog->setReadOnly(true);
  txtLog->setMaximumBlockCount(20000);
  layout->addWidget(txtLog, 2);
  // The install's progress and log, once there is one.
  pbar->setVisible(false);
  txtLog->setVisible(false);
  lblSummary = new QLabel(central);
  lblSummary->setWordWrap(true);
  layout->addWidget(lblSummary);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnCheck = new QPushButton(QStringLiteral("&Check again"), central);
  btnInstall = new QPushButton(QStringLiteral("&Install"), central);
  btnCancel = new QPushButton(QStringLiteral("Ca&ncel"), central);
  btnCancel->setEnabled(false);
  for (QPushButton* b : {btnCheck, btnInstall, btnCancel}) buttons->addWidget(b);
  layout->addLayout(buttons);
  connect(btnCheck, &QPushButton::clicked, this, &BuildWindow::Check);
  connect(btnInstall, &QPushButton::clicked, this, &BuildWindow::Install);
  connect(btnCancel, &QPushButton::clicked, this, &BuildWindow::Cancel);

  setCentralWidget(central);
  lblBuild->setText(QStringLiteral("Build: %1").arg(buildFile_));
  lblDownloads->setText(downloads_.isEmpty() ? QFileInfo(buildFile_).absolutePath() : downloads_);
  lblGame->setText(game_.isEmpty() ? QStringLiteral("(none chosen)") : game_);
  resize(1100, 760);
}

void BuildWindow::SetGameFolder(const QString& folder) {
  game_ = folder;
  lblGame->setText(folder);
  Check();
}

void BuildWindow::SetDownloadsFolder(const QString& folder) {
  downloads_ = folder;
  lblDownloads->setText(folder);
  Check();
}

void BuildWindow::SetBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{btnCheck, btnInstall, btnDownloads, btnGame, paneOptions})
    w->setEnabled(!busy);
  tblMods->setEnabled(!busy);
  btnCancel->setEnabled(busy);
  if (!busy) btnInstall->setEnabled(session_ && !game_.isEmpty() && session_->Ready() > 0);
}

void BuildWindow::Check() {
  if (worker_) return;
  SetBusy(true);
  btnCancel->setEnabled(false);
  lblSummary->setText(QStringLiteral("Checking the build..."));
  auto result = std::make_shared<std::unique_ptr<modlist::BuildSession>>();
  auto states = std::make_shared<std::vector<std::string>>();
  auto error = std::make_shared<QString>();
  const std::string file = ToPath(buildFile_), downloads = ToPath(downloads_), game = ToPath(game_);
  worker_ = QThread::create([result, states, error, file, downloads, game] {
    try {
      *result = std::make_unique<modlist::BuildSession>(modlist::OpenBuild(file, downloads));
      *states = JournalStates(**result, game);
    } catch (const std::exception& e) {
      *error = QString::fromStdString(e.what());
    }
  });
  connect(worker_, &QThread::finished, this, [this, result, states, error] {
    worker_->deleteLater();
    worker_ = nullptr;
    error_ = *error;
    if (*result) {
      session_ = std::move(*result);
      states_ = std::move(*states);
    }
    ShowSession();
    SetBusy(false);
    Q_EMIT WorkDone();
  });
  worker_->start();
}

void BuildWindow::Install() {
  if (worker_ || !session_ || game_.isEmpty()) return;
  SetBusy(true);
  cancel_ = false;
  pbar->setVisible(true);
  txtLog->setVisible(true);
  txtLog->clear();
  lblSummary->clear();
  drain_.start();
  auto result = std::make_shared<modlist::BuildInstallResult>();
  auto states = std::make_shared<std::vector<std::string>>();
  const std::string game = ToPath(game_);
  const modlist::BuildSession* session = session_.get();
  worker_ = QThread::create([this, result, states, game, session] {
    modlist::BuildInstallEvents events;
    events.modStarts = [&](std::size_t i, std::size_t n, const modlist::ModPlan& m, const std::string& installed) {
      const QString heading = QStringLiteral("Mod %1 of %2: %3").arg(i + 1).arg(n).arg(QString::fromStdString(m.mod->name));
      QMetaObject::invokeMethod(this, [this, heading, i, n] {
        lblCurrent->setText(heading);
        pbar->setRange(0, static_cast<int>(n));
        pbar->setValue(static_cast<int>(i));
      }, Qt::QueuedConnection);
      Push({heading + (installed.empty() ? QString() : QStringLiteral(": already installed, skipped.")), {}, false});
    };
    events.say = [&](const std::string& line) { Push({QString::fromStdString(line), {}, false}); };
    events.onLogLine = [&](std::string_view line, const platform::TextAttributes& attributes) {
      Push({FromWin1252(line), attributes, true});
    };
    events.modEnded = [&](const modlist::ModPlan& m, const modlist::BuildModRun& run) {
      if (run.Failed())
        Push({QStringLiteral("\"%1\": %2 %3").arg(QString::fromStdString(m.mod->name), QString::fromStdString(run.verdict),
                                                  QString::fromStdString(run.message)),
              {}, false});
    };
    try {
      *result = modlist::InstallBuild(*session, game, true, &cancel_, events);
    } catch (const std::exception& e) {
      result->stop = modlist::BuildInstallResult::Stop::Failed;
      result->message = e.what();
    }
    *states = JournalStates(*session, game);
  });
  connect(worker_, &QThread::finished, this, [this, result, states] {
    worker_->deleteLater();
    worker_ = nullptr;
    drain_.stop();
    Drain();
    states_ = std::move(*states);
    using Stop = modlist::BuildInstallResult::Stop;
    QString text = QStringLiteral("Installed %1, already installed %2, failed %3.")
                       .arg(result->installed)
                       .arg(result->skipped)
                       .arg(result->failed);
    if (result->stop == Stop::Cancelled)
      text += QStringLiteral(" Cancelled: \"%1\" was rolled back; the mods before it stay installed. Install again to resume.")
                  .arg(QString::fromStdString(result->stoppedAt));
    else if (result->stop == Stop::ChangedSince)
      text = QStringLiteral("\"%1\" was installed from other downloads or choices; uninstall it first. Nothing was changed.")
                 .arg(QString::fromStdString(result->stoppedAt));
    else if (result->stop == Stop::Locked || !result->message.empty())
      text += QStringLiteral(" ") + QString::fromStdString(result->message);
    lblSummary->setText(text);
    lblCurrent->clear();
    pbar->setValue(pbar->maximum());
    ShowSession();
    SetBusy(false);
    Q_EMIT WorkDone();
  });
  worker_->start();
}

void BuildWindow::Cancel() { cancel_ = true; }

void BuildWindow::Push(Line line) {
  std::lock_guard lock(linesMutex_);
  lines_.push_back(std::move(line));
}

void BuildWindow::Drain() {
  std::vector<Line> lines;
  {
    std::lock_guard lock(linesMutex_);
    lines.swap(lines_);
  }
  if (lines.empty()) return;
  // One edit per batch: the event loop never waits on a long log.
  QString html;
  for (const Line& line : lines) {
    if (!html.isEmpty()) html += QStringLiteral("<br>");
    if (!line.coloured) {
      html += line.text.toHtmlEscaped();
      continue;
    }
    const auto& c = line.attributes.color;
    html += QStringLiteral("<span style=\"color:#%1%2%3;%4\">%5</span>")
                .arg(c.r, 2, 16, QLatin1Char('0'))
                .arg(c.g, 2, 16, QLatin1Char('0'))
                .arg(c.b, 2, 16, QLatin1Char('0'))
                .arg(line.attributes.bold ? QStringLiteral("font-weight:bold") : QString())
                .arg(line.text.toHtmlEscaped());
  }
  txtLog->appendHtml(html);
}

const modlist::BuildMod* BuildWindow::ModOfRow(int row) const {
  if (!session_ || row < 0 || row >= static_cast<int>(session_->plan.mods.size())) return nullptr;
  return session_->plan.mods[row].mod;
}

QString BuildWindow::StateOf(int row) const {
  if (!session_ || row < 0 || row >= static_cast<int>(session_->plan.mods.size())) return {};
  const modlist::ModPlan& m = session_->plan.mods[row];
  const std::string& journal = row < static_cast<int>(states_.size()) ? states_[row] : std::string();
  if ((m.state == modlist::ModState::Ready || m.state == modlist::ModState::NeedsChoice) &&
      (journal == "installed" || journal == "changed since"))
    return QString::fromStdString(journal);
  return QString::fromStdString(std::string(modlist::StateWord(m.state)));
}

void BuildWindow::FillRow(int row) {
  const modlist::BuildMod& mod = *session_->plan.mods[row].mod;
  auto* chosen = new QTableWidgetItem;
  chosen->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  chosen->setCheckState(session_->selection->ModChosen(mod) ? Qt::Checked : Qt::Unchecked);
  tblMods->setItem(row, 0, chosen);
  const QString state = StateOf(row);
  tblMods->setItem(row, 1, new QTableWidgetItem(IconOf(state), state));
  tblMods->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(mod.name)));
  tblMods->setItem(row, 3, new QTableWidgetItem(QString::fromStdString(mod.author)));
  tblMods->setItem(row, 4, new QTableWidgetItem(QString::fromStdString(mod.category)));
}

void BuildWindow::ShowSession() {
  updating_ = true;
  const int selected = tblMods->currentRow();
  if (!session_) {
    tblMods->setRowCount(0);
    txtDetails->setHtml(QStringLiteral("<p><b>The build cannot be opened.</b></p><p>%1</p>").arg(error_.toHtmlEscaped()));
    lblSummary->setText(error_);
    updating_ = false;
    return;
  }
  if (!error_.isEmpty()) lblSummary->setText(error_);
  tblMods->setRowCount(static_cast<int>(session_->plan.mods.size()));
  for (int row = 0; row < tblMods->rowCount(); ++row) FillRow(row);
  int attention = 0;
  for (int row = 0; row < tblMods->rowCount(); ++row) attention += NeedsAttention(StateOf(row)) ? 1 : 0;
  cbAttention->setText(QStringLiteral("Needs &attention (%1)").arg(attention));
  if (error_.isEmpty() && lblSummary->text().startsWith(QStringLiteral("Checking")))
    lblSummary->setText(QStringLiteral("%1 of the %2 chosen mods ready.").arg(session_->Ready()).arg(session_->Chosen()));
  ApplyFilter();
  updating_ = false;
  tblMods->selectRow(selected >= 0 && selected < tblMods->rowCount() ? selected : 0);
  ShowDetails();
}

void BuildWindow::ApplyFilter() {
  for (int row = 0; row < tblMods->rowCount(); ++row)
    tblMods->setRowHidden(row, cbAttention->isChecked() && !NeedsAttention(StateOf(row)));
}

void BuildWindow::ShowDetails() {
  QLayout* options = paneOptions->layout();
  while (QLayoutItem* item = options->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  const int row = tblMods->currentRow();
  const modlist::BuildMod* mod = ModOfRow(row);
  if (!mod) {
    txtDetails->clear();
    return;
  }
  const modlist::ModPlan& plan = session_->plan.mods[row];
  QString html = QStringLiteral("<h3>%1</h3>").arg(Html(mod->name));
  if (!mod->author.empty()) html += QStringLiteral("<p>by %1</p>").arg(Html(mod->author));
  html += QStringLiteral("<p><b>%1</b></p>").arg(StateOf(row).toHtmlEscaped());
  for (const std::string& e : plan.errors) html += QStringLiteral("<p style=\"color:#b00000\">%1</p>").arg(Html(e));
  // A mod done by hand shows its directions below, not twice.
  if (!mod->ByHand())
    for (const std::string& w : plan.warnings) html += QStringLiteral("<p style=\"color:#8a5a00\">%1</p>").arg(Html(w));
  if (!mod->description.empty()) html += QStringLiteral("<p>%1</p>").arg(Html(mod->description));
  if (!mod->directions.empty()) html += QStringLiteral("<p><b>Directions:</b> %1</p>").arg(Html(mod->directions));
  if (!mod->compatibilityWarning.empty())
    html += QStringLiteral("<p><b>Compatibility:</b> %1</p>").arg(Html(mod->compatibilityWarning));
  if (!mod->knownBugs.empty()) html += QStringLiteral("<p><b>Known bugs:</b> %1</p>").arg(Html(mod->knownBugs));
  if (!mod->downloadPages.empty()) {
    html += QStringLiteral("<p><b>Download pages:</b></p><ul>");
    for (const std::string& page : mod->downloadPages)
      html += QStringLiteral("<li><a href=\"%1\">%1</a></li>").arg(Html(page));
    html += QStringLiteral("</ul>");
  }
  txtDetails->setHtml(html);

  if (mod->options.empty()) return;
  options->addWidget(new QLabel(QStringLiteral("<b>Options</b>"), paneOptions));
  const modlist::Selection& selection = *session_->selection;
  for (const modlist::BuildOption& option : mod->options) {
    auto* box = new QCheckBox(QString::fromStdString(option.name), paneOptions);
    box->setChecked(selection.OptionChosen(*mod, option));
    box->setToolTip(QString::fromStdString(option.description));
    // An option a chosen one excludes (or that excludes a chosen one) cannot be ticked.
    for (const modlist::BuildOption& other : mod->options) {
      if (&other == &option || !selection.OptionChosen(*mod, other)) continue;
      auto excludes = [](const modlist::BuildOption& a, const modlist::BuildOption& b) {
        return std::any_of(a.restrictions.begin(), a.restrictions.end(),
                           [&](const std::string& g) { return !b.guid.empty() && modlist::SameName(g, b.guid); });
      };
      if (!box->isChecked() && (excludes(other, option) || excludes(option, other))) {
        box->setEnabled(false);
        box->setText(QStringLiteral("%1 (excluded by \"%2\")").arg(QString::fromStdString(option.name),
                                                                   QString::fromStdString(other.name)));
      }
    }
    connect(box, &QCheckBox::toggled, this, [this, mod, &option](bool on) { OptionToggled(*mod, option, on); });
    options->addWidget(box);
  }
}

void BuildWindow::ModToggled(int row, bool chosen) {
  const modlist::BuildMod* mod = ModOfRow(row);
  if (!mod) return;
  modlist::SetChoice(session_->choices, session_->build, *mod, nullptr, chosen);
  SaveChoices();
}

void BuildWindow::OptionToggled(const modlist::BuildMod& mod, const modlist::BuildOption& option, bool chosen) {
  modlist::SetChoice(session_->choices, session_->build, mod, &option, chosen);
  // Re-checked from the saved file, after the click has been handled.
  QTimer::singleShot(0, this, &BuildWindow::SaveChoices);
}

void BuildWindow::SaveChoices() {
  try {
    modlist::SaveChoices(modlist::DefaultChoicesFile(session_->build.file), session_->choices);
  } catch (const std::exception& e) {
    lblSummary->setText(QStringLiteral("The choices could not be saved: %1").arg(QString::fromStdString(e.what())));
    return;
  }
  Check();
}

}  // namespace vey::app
