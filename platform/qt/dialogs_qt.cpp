#include "platform/qt/dialogs_qt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "resources/dialog_templates.h"

namespace {

// What a user can see of a dropped list at once; the template's list height
// is the list's room in the desktop API, not a limit worth keeping here.
constexpr int kVisibleListEntries = 16;

QString FromCore(const char* text) { return QString::fromUtf8(text ? text : ""); }

// A radio button whose click either leaves the check to the procedure (the
// plain kind) or checks it within its group (the automatic kind, through
// `checkSelf`). Like the desktop API's buttons it reacts to a click anywhere
// in its rectangle, not only on the circle and the text, and the arrow keys
// click the next or previous button of its group (through `moveInGroup`).
class DlgRadioButton : public QRadioButton {
 public:
  DlgRadioButton(const QString& text, QWidget* parent, std::function<void()> checkSelf,
                 std::function<void(int)> moveInGroup)
      : QRadioButton(text, parent), checkSelf_(std::move(checkSelf)), moveInGroup_(std::move(moveInGroup)) {
    setAutoExclusive(false);
  }

 protected:
  void nextCheckState() override {
    if (checkSelf_) checkSelf_();
  }
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Left: moveInGroup_(-1); break;
      case Qt::Key_Down:
      case Qt::Key_Right: moveInGroup_(1); break;
      default: QRadioButton::keyPressEvent(event);
    }
  }

 private:
  std::function<void()> checkSelf_;
  std::function<void(int)> moveInGroup_;
};

class DlgCheckBox : public QCheckBox {
 public:
  DlgCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A group box as the desktop API draws it: the title sits on the frame's
// top line, so the frame starts half a line below the control's top and
// the controls placed inside keep clear of it.
class DlgGroupBox : public QGroupBox {
 public:
  DlgGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched frame: a shadow line and a light line beside it.
    const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    if (title().isEmpty()) return;
    const int indent = metrics.averageCharWidth();
    const QRect text(indent, 0, metrics.horizontalAdvance(title()) + indent, metrics.height());
    painter.fillRect(text, palette().window());
    style()->drawItemText(&painter, text, Qt::AlignCenter | Qt::TextHideMnemonic, palette(), isEnabled(), title(),
                          QPalette::WindowText);
  }
};

QFont TemplateFont(const DialogTemplate& tpl) {
  QFont font(FromCore(tpl.fontFace));
  font.setPointSize(tpl.fontPoints > 0 ? tpl.fontPoints : 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace

int DialogUnits::ToPixelsX(int units) const { return (units * baseX + 2) / 4; }
int DialogUnits::ToPixelsY(int units) const { return (units * baseY + 4) / 8; }

DialogUnits MeasureDialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogUnits units;
  units.baseX = (letters / 26 + 1) / 2;
  units.baseY = metrics.height();
  return units;
}

namespace qtdlg {

// One open dialog: its controls built from the template, and the procedure
// it feeds.
class TemplateDialog : public QDialog {
 public:
  TemplateDialog(const DialogTemplate& tpl, DLGPROC proc, QWidget* parent)
      : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
        tpl_(tpl), proc_(proc) {
    setObjectName(QStringLiteral("dialog%1").arg(tpl.id));
    setWindowTitle(FromCore(tpl.caption));
    setFont(TemplateFont(tpl));
    units_ = MeasureDialogUnits(font());
    setFixedSize(units_.ToPixelsX(tpl.w), units_.ToPixelsY(tpl.h));
    BuildControls();
  }

  HWND Handle() { return reinterpret_cast<HWND>(this); }
  bool Ended() const { return ended_; }
  INT_PTR Result() const { return result_; }

  INT_PTR Send(UINT message, WPARAM wParam, LPARAM lParam) { return proc_(Handle(), message, wParam, lParam); }

  void Command(int id, WORD notification) {
    if (ended_) return;  // what arrives after EndDialog goes nowhere
    Send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), notification), 0);
  }

  void End(INT_PTR result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    if (isVisible()) done(0);
  }

  QWidget* Control(int id) const {
    for (const Built& c : controls_)
      if (c.def->id == id) return c.widget;
    return nullptr;
  }

 protected:
  // The first control that takes the keyboard gets it as if tabbed to, so
  // that an edit box starts with its text selected for typing over.
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    for (const Built& c : controls_) {
      if (c.widget->isEnabled() && (c.widget->focusPolicy() & Qt::TabFocus)) {
        c.widget->setFocus(Qt::TabFocusReason);
        break;
      }
    }
  }

  // Esc: the procedure decides, as with Cancel.
  void reject() override { Command(IDCANCEL, BN_CLICKED); }

  // The close box (and the window manager's close): the same, and the
  // window stays unless the procedure ended the dialog.
  void closeEvent(QCloseEvent* event) override {
    if (!ended_) Command(IDCANCEL, BN_CLICKED);
    if (ended_)
      event->accept();
    else
      event->ignore();
  }

 private:
  struct Built {
    const DialogControl* def;
    QWidget* widget;
  };

  void BuildControls() {
    std::vector<QWidget*> groupBoxes;
    for (const DialogControl& def : tpl_.controls) {
      QWidget* widget = CreateControl(def);
      const int height = def.kind == ControlKind::DropDownList
                             ? std::min(widget->sizeHint().height(), units_.ToPixelsY(def.h))
                             : units_.ToPixelsY(def.h);
      widget->setGeometry(units_.ToPixelsX(def.x), units_.ToPixelsY(def.y), units_.ToPixelsX(def.w), height);
      if (def.kind == ControlKind::GroupBox) groupBoxes.push_back(widget);
      controls_.push_back({&def, widget});
    }
    // A group box is a frame drawn behind the controls it surrounds.
    for (QWidget* box : groupBoxes) box->lower();
  }

  QWidget* CreateControl(const DialogControl& def) {
    const QString text = FromCore(def.text);
    const int id = def.id;
    switch (def.kind) {
      case ControlKind::Static: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        return label;
      }
      case ControlKind::GroupBox:
        return new DlgGroupBox(text, this);
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, this);
        button->setDefault(def.kind == ControlKind::DefaultPushButton);
        connect(button, &QPushButton::clicked, this, [this, id] { Command(id, BN_CLICKED); });
        return button;
      }
      case ControlKind::RadioButton:
      case ControlKind::AutoRadioButton: {
        const size_t index = static_cast<size_t>(&def - tpl_.controls.data());
        std::function<void()> checkSelf;
        if (def.kind == ControlKind::AutoRadioButton) checkSelf = [this, index] { CheckInGroup(index); };
        auto* radio = new DlgRadioButton(text, this, std::move(checkSelf), [this, index](int step) {
          MoveInGroup(index, step);
        });
        connect(radio, &QRadioButton::clicked, this, [this, id] { Command(id, BN_CLICKED); });
        return radio;
      }
      case ControlKind::AutoCheckBox: {
        auto* box = new DlgCheckBox(text, this);
        connect(box, &QCheckBox::clicked, this, [this, id] { Command(id, BN_CLICKED); });
        return box;
      }
      case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, this);
        if (def.style & CS_ALIGN_RIGHT) edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(edit, &QLineEdit::textEdited, this, [this, id] { Command(id, EN_CHANGE); });
        return edit;
      }
      case ControlKind::DropDownList: {
        auto* list = new QComboBox(this);
        list->setMaxVisibleItems(kVisibleListEntries);
        connect(list, &QComboBox::activated, this, [this, id] { Command(id, CBN_SELCHANGE); });
        return list;
      }
    }
    return new QWidget(this);
  }

  // The radio group of control `index`: the run of radio buttons of its
  // kind from a group start to the next, as [first, last).
  std::pair<size_t, size_t> RadioGroup(size_t index) const {
    const auto& c = tpl_.controls;
    const ControlKind kind = c[index].kind;
    size_t first = index;
    while (first > 0 && !(c[first].style & CS_GROUP_START) && c[first - 1].kind == kind) --first;
    size_t last = index + 1;
    while (last < c.size() && c[last].kind == kind && !(c[last].style & CS_GROUP_START)) ++last;
    return {first, last};
  }

  // An automatic radio button checks itself and clears the others of its
  // group.
  void CheckInGroup(size_t index) {
    const auto [first, last] = RadioGroup(index);
    for (size_t i = first; i < last; ++i) static_cast<QRadioButton*>(controls_[i].widget)->setChecked(i == index);
  }

  // Arrow keys: the next enabled button of the group, round its ends, takes
  // the focus and is clicked, as the desktop API's dialogs do.
  void MoveInGroup(size_t index, int step) {
    const auto [first, last] = RadioGroup(index);
    const int count = static_cast<int>(last - first);
    const int position = static_cast<int>(index - first);
    for (int n = 1; n < count; ++n) {
      const size_t i = first + static_cast<size_t>(((position + step * n) % count + count) % count);
      QWidget* next = controls_[i].widget;
      if (!next->isEnabled()) continue;
      next->setFocus(Qt::TabFocusReason);
      static_cast<QRadioButton*>(next)->click();
      return;
    }
  }

  const DialogTemplate& tpl_;
  DLGPROC proc_;
  DialogUnits units_;
  std::vector<Built> controls_;  // in template order
  bool ended_ = false;
  INT_PTR result_ = 0;
};

}  // namespace qtdlg

using qtdlg::TemplateDialog;

QtDialogHost::QtDialogHost(QWidget* mainWindow) : mainWindow_(mainWindow) {}

QtDialogHost::~QtDialogHost() = default;

INT_PTR QtDialogHost::DialogBoxParam(HWND owner, int templateId, DLGPROC proc, LPARAM param) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  if (tpl == nullptr || proc == nullptr) return -1;
  QWidget* parent = DialogWidget(owner);
  QPointer<TemplateDialog> dialog = new TemplateDialog(*tpl, proc, parent ? parent : mainWindow_);
  open_.push_back(dialog);
  dialog->Send(WM_INITDIALOG, 0, param);
  if (!dialog->Ended()) dialog->exec();
  INT_PTR result = -1;
  if (dialog) {
    // A dialog whose window went without EndDialog (its owner destroyed)
    // counts as cancelled.
    result = dialog->Ended() ? dialog->Result() : -1;
    std::erase(open_, dialog.data());
    delete dialog.data();
  } else {
    std::erase_if(open_, [](TemplateDialog* d) { return d == nullptr; });
  }
  return result;
}

TemplateDialog* QtDialogHost::Find(HWND hDlg) const {
  for (TemplateDialog* d : open_)
    if (reinterpret_cast<HWND>(d) == hDlg) return d;
  return nullptr;
}

void QtDialogHost::EndDialog(HWND hDlg, INT_PTR result) {
  if (TemplateDialog* d = Find(hDlg)) d->End(result);
}

void QtDialogHost::DlgListAdd(HWND hDlg, int id, const char* text) {
  TemplateDialog* d = Find(hDlg);
  auto* list = d ? qobject_cast<QComboBox*>(d->Control(id)) : nullptr;
  if (list == nullptr) return;
  // Adding keeps the selection as it was; a combo box would select its
  // first entry by itself.
  const int selected = list->currentIndex();
  list->addItem(FromCore(text));
  list->setCurrentIndex(selected);
}

void QtDialogHost::DlgListSelect(HWND hDlg, int id, int index) {
  TemplateDialog* d = Find(hDlg);
  auto* list = d ? qobject_cast<QComboBox*>(d->Control(id)) : nullptr;
  if (list == nullptr) return;
  list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

int QtDialogHost::DlgListGetSel(HWND hDlg, int id) {
  TemplateDialog* d = Find(hDlg);
  auto* list = d ? qobject_cast<QComboBox*>(d->Control(id)) : nullptr;
  return list ? list->currentIndex() : -1;
}

void QtDialogHost::SetDlgItemText(HWND hDlg, int id, const char* text) {
  TemplateDialog* d = Find(hDlg);
  QWidget* w = d ? d->Control(id) : nullptr;
  const QString value = FromCore(text);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(value);
    edit->setCursorPosition(0);  // a long file name shows its start
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(value);
  } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
    box->setTitle(value);
  }
}

std::string QtDialogHost::GetDlgItemText(HWND hDlg, int id) {
  TemplateDialog* d = Find(hDlg);
  QWidget* w = d ? d->Control(id) : nullptr;
  QString value;
  if (auto* edit = qobject_cast<QLineEdit*>(w))
    value = edit->text();
  else if (auto* label = qobject_cast<QLabel*>(w))
    value = label->text();
  else if (auto* button = qobject_cast<QAbstractButton*>(w))
    value = button->text();
  else if (auto* box = qobject_cast<QGroupBox*>(w))
    value = box->title();
  else if (auto* list = qobject_cast<QComboBox*>(w))
    value = list->currentText();
  return value.toStdString();
}

void QtDialogHost::CheckDlgButton(HWND hDlg, int id, bool checked) {
  TemplateDialog* d = Find(hDlg);
  auto* button = d ? qobject_cast<QAbstractButton*>(d->Control(id)) : nullptr;
  if (button && button->isCheckable()) button->setChecked(checked);
}

bool QtDialogHost::IsDlgButtonChecked(HWND hDlg, int id) {
  TemplateDialog* d = Find(hDlg);
  auto* button = d ? qobject_cast<QAbstractButton*>(d->Control(id)) : nullptr;
  return button && button->isCheckable() && button->isChecked();
}

void QtDialogHost::EnableDlgItem(HWND hDlg, int id, bool enabled) {
  TemplateDialog* d = Find(hDlg);
  if (QWidget* w = d ? d->Control(id) : nullptr) w->setEnabled(enabled);
}

QWidget* QtDialogHost::DialogWidget(HWND hDlg) const { return Find(hDlg); }

QWidget* QtDialogHost::ControlWidget(HWND hDlg, int id) const {
  TemplateDialog* d = Find(hDlg);
  return d ? d->Control(id) : nullptr;
}

HWND QtDialogHost::ActiveDialog() const { return open_.empty() ? nullptr : open_.back()->Handle(); }
