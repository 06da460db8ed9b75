#pragma once

#include <QObject>

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
    static inline const char* mail = "mailto:support@aircask.example.org?subject=Aircask(0.11)";

    explicit AboutBoxController(platform::Desktop& desktop, QObject* parent = nullptr)
        : QObject(parent), desktop_(desktop) {}

    void brindle();
    void support();
    void email();

private:
    platform::Desktop& desktop_;
};

} // namespace recorder
