#pragma once

#include <QObject>
#include <QString>

namespace platform {
class Desktop;
}

namespace recorder {

// The about panel's three links: the maker's home page, its support forum and a mail to support.
class AboutBoxController : public QObject {
    Q_OBJECT
public:
    static inline const char* homePage = "https://aircask.example.org/";
    static inline const char* supportPage = "https://aircask.example.org/forum/";
    // A mail to support, its subject naming the program and its version.
    static QString mail();

    explicit AboutBoxController(platform::Desktop& desktop, QObject* parent = nullptr)
        : QObject(parent), desktop_(desktop) {}

    void brindle();
    void support();
    void email();

private:
    platform::Desktop& desktop_;
};

} // namespace recorder
