#include "platform/qt/simulator_qt.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

#include "platform/midi/sim/sim_view.h"

namespace {

// The buttons stand right of the type list's label and the list itself.
constexpr int kFirstButtonColumn = 2;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// "EPROM images (*.bin *.BIN *.rom *.ROM);;All files (*)": both cases, as
// names on Linux have them.
QString ImageFileFilter() {
  QStringList patterns;
  for (const char* extension : simview::kImageExtensions) {
    const QString lower = QString::fromLatin1(extension);
    patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
  }
  return QStringLiteral("%1 (%2);;%3 (*)")
      .arg(QString::fromLatin1(simview::kImageFilesName), patterns.join(QLatin1Char(' ')),
           QString::fromLatin1(simview::kAllFilesName));
}

class SimulatorWindow : public QWidget {
 public:
  SimulatorWindow(std::shared_ptr<simport::KilnboxLink> link, QWidget* parent)
      : QWidget(parent, Qt::Tool), view_(std::move(link)) {
    setObjectName(QStringLiteral("kilnboxSimulator"));
    setWindowTitle(QString::fromLatin1(simview::kTitle));
    BuildDisplay();
    BuildSocketControls();
    auto* column = new QVBoxLayout(this);
    column->addWidget(display_);
    column->addWidget(socket_);
    column->addLayout(actions_);
    Refresh();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { Refresh(); });
    timer->start(simview::kRefreshMs);
  }

 private:
  void BuildDisplay() {
    display_ = new QLabel(this);
    display_->setObjectName(QStringLiteral("display"));
    QFont lcd = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lcd.setPointSize(lcd.pointSize() + 4);
    lcd.setBold(true);
    display_->setFont(lcd);
    display_->setTextFormat(Qt::PlainText);
    display_->setStyleSheet(QStringLiteral(
        "QLabel { background: #9bbc5a; color: #1d2b0c; border: 3px solid #3a4a22; border-radius: 4px; padding: 6px; }"));
    display_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    socket_ = new QLabel(this);
    socket_->setObjectName(QStringLiteral("socket"));
    socket_->setTextFormat(Qt::PlainText);
    socket_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Two lines tall whatever it says, so that the window keeps its size
    // when an EPROM goes in or out.
    socket_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    socket_->setText(QStringLiteral("\n"));
    socket_->setMinimumHeight(socket_->sizeHint().height());
  }

  void BuildSocketControls() {
    types_ = new QComboBox(this);
    types_->setObjectName(QStringLiteral("type"));
    for (const std::string& name : simview::TypeNames()) types_->addItem(Text(name));
    types_->setCurrentIndex(simview::DefaultType());

    actions_ = new QGridLayout;
    actions_->addWidget(new QLabel(QString::fromLatin1(simview::kTypeListLabel), this), 0, 0);
    actions_->addWidget(types_, 0, 1);
    for (const simview::Button& button : simview::kButtons) {
      auto* push = new QPushButton(QString::fromLatin1(button.label), this);
      push->setObjectName(QString::fromLatin1(button.id));
      push->setAutoDefault(false);
      connect(push, &QPushButton::clicked, this, [this, &button] { Press(button); });
      actions_->addWidget(push, button.row, kFirstButtonColumn + button.column);
      buttons_.push_back(push);
    }
  }

  void Press(const simview::Button& button) {
    QString path;
    if (button.asksForFile) {
      path = QFileDialog::getOpenFileName(this, QString::fromLatin1(simview::kFileDialogTitle), QString(),
                                          ImageFileFilter());
      if (path.isEmpty()) return;
    }
    const std::string error = view_.Do(button.action, types_->currentIndex(), path.toStdString());
    if (!error.empty()) QMessageBox::warning(this, windowTitle(), Text(error));
    Refresh();
  }

  void Refresh() {
    const simview::State state = view_.Read();
    SetText(display_, Text(state.display));
    SetText(socket_, Text(state.socket));
    for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setEnabled(state.Enabled(simview::kButtons[i]));
  }

  // Unchanged text is left alone, so that a selection in it survives.
  static void SetText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
  }

  simview::SimulatorView view_;
  QLabel* display_ = nullptr;
  QLabel* socket_ = nullptr;
  QComboBox* types_ = nullptr;
  std::vector<QPushButton*> buttons_;
  QGridLayout* actions_ = nullptr;
};

}  // namespace

QWidget* CreateSimulatorWindow(std::shared_ptr<simport::KilnboxLink> link, QWidget* parent) {
  return new SimulatorWindow(std::move(link), parent);
}
