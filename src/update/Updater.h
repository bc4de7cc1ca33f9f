#pragma once

#include "update/FeedRequest.h"
#include "update/ImageDownload.h"
#include "update/UpdateFeed.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

// Keeps the installed application current: reads the update feed, offers a newer build, downloads the
// image, installs it over the installed copy and relaunches. Only what one of our keys signed is taken
// (UpdateKeys, UpdateSignature), and never a build older than the running one. Checks by itself 5 s after start and
// then daily, on request from the menu, and without any interface for the command line. Lives on the main thread; only
// the install itself runs in the background.
class Updater : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        enum class Kind
        {
            idle,
            checking,
            downloading,
            installing
        };
        Kind kind = Kind::idle;
        // Only while downloading: 0…1.
        double fraction = 0;

        static State idle() { return {}; }
        static State checking() { return {Kind::checking, 0}; }
        static State downloading(double fraction) { return {Kind::downloading, fraction}; }
        static State installing() { return {Kind::installing, 0}; }
        bool operator==(const State&) const = default;
    };

    // Starts a program detached from this process; false when it could not be started.
    using DetachedStart = std::function<bool(const QString& program, const QStringList& arguments)>;

    static constexpr int firstAutoCheckDelayMs = 5'000;
    static constexpr int autoCheckIntervalMs = 86'400'000;

    static Updater& shared();
    explicit Updater(QObject* parent = nullptr);

    const State& state() const { return state_; }
    // Once at launch: a check shortly after, then one a day, while "autoUpdateCheck" allows it.
    void startAutoChecks(int firstDelayMs = firstAutoCheckDelayMs, int intervalMs = autoCheckIntervalMs);
    // `interactive` when the user asked from the menu: every outcome is then shown; otherwise only an
    // available update is.
    void check(bool interactive);

    // The whole update without any interface, printing each step; the process exit status.
    static int headlessUpdate(const QUrl& feedURL);
    // Starts the installed application a second from now and quits this one.
    static void relaunch();
    // How programs are started detached, so that tests can watch what would be started; an empty function
    // restores the real start.
    static void setDetachedStart(DetachedStart start);

    // The feed address in use and whether it is a real one.
    static QUrl feedURL();
    static bool feedConfigured();
    // In $XDG_CACHE_HOME/Tolvan, removed once installed or refused.
    static QString downloadPath();
    static QString headlessDownloadPath();

signals:
    // After every change of state(), on the main thread.
    void stateChanged();

private:
    void setState(State state);
    void automaticCheck();
    void feedArrived(const FeedAnswer& answer, bool interactive);
    // A feed that must not be installed: shown when the user asked, logged otherwise.
    void refuse(const QString& reason, bool interactive);
    void offer(const FeedInfo& info);
    void download(const FeedInfo& info);
    void downloadFinished(const Result<FileDownload::Arrived>& result, const FeedInfo& feed);
    void install(const QString& image, const FeedInfo& feed);
    static void info(const QString& text);

    State state_;
    QNetworkAccessManager network_;
    QTimer firstAutoCheck_;
    QTimer autoTimer_;
    QPointer<FileDownload> download_;
    bool offerOpen_ = false;
};
