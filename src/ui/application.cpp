#include "ui/application.h"

#include "frame/posixhost.h"
#include "frame/program.h"
#include "frame/uiport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <clocale>

namespace qelp::ui {

namespace {
class StatusPort : public NullUiPort {
public:
    explicit StatusPort(QLabel* label) : m_label(label) {}
    void setStatusLine(const std::string& text) override {
        m_label->setText(QString::fromLatin1(text.c_str()));
    }

private:
    QLabel* m_label;
};
} // namespace

int RunConsole(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt adopts the user's locale for the C library; numbers in files are formatted by the
    // core itself, but keep the C library's numeric locale neutral for any code that is not.
    std::setlocale(LC_NUMERIC, "C");
    QWidget window;
    window.setWindowTitle(QStringLiteral("QELP Server POC"));
    auto* layout = new QVBoxLayout(&window);
    auto* start = new QPushButton(QStringLiteral("Start QELP"));
    auto* stop = new QPushButton(QStringLiteral("Stop QELP"));
    auto* status = new QLabel;
    start->setAccessibleName(start->text());
    stop->setAccessibleName(stop->text());
    stop->setEnabled(false);
    layout->addWidget(start);
    layout->addWidget(stop);
    layout->addWidget(status);
    PosixHost host;
    StatusPort port(status);
    Program program(host, port);
    StartProgram(program);
    window.show();
    return app.exec();
}

} // namespace qelp::ui
