// Adding and editing one connection.
#include "ConnectionDialog.h"

#include "ModalDialogScript.h"
#include "repository/ArkonError.h"

#include "ui_ConnectionDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPushButton>

#include <algorithm>

namespace arkon_cm {
namespace {

QString Trimmed(const QLineEdit& edit) {
    return edit.text().trimmed();
}

// The rules the folder backend applies when it opens a session, told before the user tries it: an
// absolute server folder, and a database that stays inside it.
QString PathProblem(const QString& server, const QString& database) {
    if (server.isEmpty()) {
        return ConnectionDialog::tr("Укажите папку сервера.");
    }
    if (!server.startsWith(QLatin1Char('/'))) {
        return ConnectionDialog::tr("Папка сервера задаётся полным путём, от «/».");
    }
    if (database.startsWith(QLatin1Char('/')) ||
        database.split(QLatin1Char('/')).contains(QStringLiteral(".."))) {
        return ConnectionDialog::tr("База данных — это папка внутри папки сервера.");
    }
    return {};
}

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

ConnectionDialog::ConnectionDialog(QWidget* parent, Purpose purpose, Connection connection,
                                   std::vector<std::wstring> taken_names, std::shared_ptr<arkon::ICore> core)
    : QDialog(parent), ui_(std::make_unique<Ui::ConnectionDialog>()), connection_(std::move(connection)),
      taken_names_(std::move(taken_names)), core_(std::move(core)) {
    ui_->setupUi(this);
    setWindowTitle(purpose == Purpose::Add ? tr("Новое соединение") : tr("Изменение соединения"));
    ui_->nameEdit->setText(QString::fromStdWString(connection_.name));
    ui_->serverEdit->setText(QString::fromStdWString(connection_.server));
    ui_->databaseEdit->setText(QString::fromStdWString(connection_.database));
    ui_->checkButton->setVisible(core_ != nullptr);

    connect(ui_->buttonBox, &QDialogButtonBox::accepted, this, &ConnectionDialog::accept);
    connect(ui_->buttonBox, &QDialogButtonBox::rejected, this, &ConnectionDialog::reject);
    connect(ui_->serverButton, &QToolButton::clicked, this, [this] { ChooseServerFolder(); });
    connect(ui_->checkButton, &QPushButton::clicked, this, [this] { CheckConnection(); });
    for (QLineEdit* edit : {ui_->nameEdit, ui_->serverEdit, ui_->databaseEdit}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { UpdateState(); });
    }
    UpdateState();
}

ConnectionDialog::~ConnectionDialog() = default;

Connection ConnectionDialog::GetConnection() const {
    Connection connection = connection_;
    connection.name = Trimmed(*ui_->nameEdit).toStdWString();
    connection.server = Trimmed(*ui_->serverEdit).toStdWString();
    connection.database = Trimmed(*ui_->databaseEdit).toStdWString();
    return connection;
}

QString ConnectionDialog::Problem() const {
    const QString name = Trimmed(*ui_->nameEdit);
    if (name.isEmpty()) {
        return tr("Введите имя соединения.");
    }
    // The name is the first part of every repository path of the connection, after "arkon://".
    if (name.contains(QLatin1Char('/'))) {
        return tr("Имя соединения не может содержать знак «/».");
    }
    if (std::find(taken_names_.begin(), taken_names_.end(), name.toStdWString()) != taken_names_.end()) {
        return tr("Соединение с именем «%1» уже есть.").arg(name);
    }
    return PathProblem(Trimmed(*ui_->serverEdit), Trimmed(*ui_->databaseEdit));
}

void ConnectionDialog::accept() {
    if (Problem().isEmpty()) {
        QDialog::accept();
    }
}

void ConnectionDialog::UpdateState() {
    const QString problem = Problem();
    ui_->validationLabel->setText(problem);
    ui_->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty());
    ui_->checkButton->setEnabled(
        PathProblem(Trimmed(*ui_->serverEdit), Trimmed(*ui_->databaseEdit)).isEmpty());
}

void ConnectionDialog::ChooseServerFolder() {
    const QString current = Trimmed(*ui_->serverEdit);
    QFileDialog chooser(this, tr("Выбор папки"), QDir(current).exists() ? current : QDir::homePath());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    // Cancelling keeps what was typed: the field is the user's, the chooser only helps to fill it.
    if (arkon_widgets::ExecModalDialog(chooser) != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = chooser.selectedFiles();
    if (!chosen.isEmpty() && !chosen.front().isEmpty()) {
        ui_->serverEdit->setText(QDir::cleanPath(chosen.front()));
    }
}

void ConnectionDialog::CheckConnection() {
    if (core_ == nullptr) {
        return;
    }
    const Connection connection = GetConnection();
    bool opened = true;
    QString failure;
    {
        // A share that does not answer can hold the check for a while; the window cannot tell otherwise.
        const WaitCursor wait;
        try {
            core_->OpenSession(connection.server, connection.database);
        } catch (const exceptions::Error& error) {
            opened = false;
            failure = QString::fromStdWString(error.GetDescription());
        }
    }
    if (opened) {
        arkon_widgets::ShowMessage(this, QMessageBox::Information, tr("Проверка подключения"),
                                   tr("Подключение установлено."));
    } else {
        arkon_widgets::ShowMessage(this, QMessageBox::Warning, tr("Ошибка подключения"),
                                   tr("Не удалось установить подключение.\n%1").arg(failure));
    }
}

} // namespace arkon_cm
