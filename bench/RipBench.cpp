// A per-track rip job of 8 tracks of 30 seconds each, against running lame with the same
// arguments 8 times in a shell loop, one after the other and as many at once as there are cores
// (xargs -P), in one run. Prints the three wall times and the job's ratio to each loop.
#include "platform/core/PropertyList.h"
#include "platform/ui/Desktop.h"
#include "ripper/window/AppController.h"
#include "ripper/window/LAMEProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Quiet : ripper::AppController {
    using AppController::AppController;
    void runAlertWithTitle(const QString&, const QString&) override {}
    void playFinishSound() override {}
};

void writeWav(const std::string& path, double frequency, double seconds) {
    const auto samples = static_cast<std::uint32_t>(seconds * 44100);
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t bytes = samples * 4;
    const std::uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16,   0x00020001,
                                    44100,      44100 * 4,  0x00100004, 0x61746164, bytes};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    for (std::uint32_t i = 0; i < samples; ++i) {
        const auto v = static_cast<std::int16_t>(9000 * std::sin(2 * 3.14159265 * frequency * i / 44100));
        out.write(reinterpret_cast<const char*>(&v), 2);
        out.write(reinterpret_cast<const char*>(&v), 2);
    }
}

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    char pattern[] = "/tmp/discwell-bench-XXXXXX";
    const fs::path root = ::mkdtemp(pattern);
    const fs::path cd = root / "Audio CD";
    fs::create_directories(cd);
    fs::create_directories(root / "Music");
    for (int t = 1; t <= 8; ++t)
        writeWav((cd / ("Track 0" + std::to_string(t) + ".wav")).string(), 200.0 + 50 * t, 30.0);

    platform::Desktop desktop;
    Quiet controller(desktop, QString::fromStdString((root / "prefs.plist").string()));
    controller.awakeFromNib();
    controller.chooseSource({QString::fromStdString(cd.string())});
    controller.setOutputDirectory(QString::fromStdString((root / "Music" / "Audio CD").string()));
    QObject::connect(controller.lameProcess(), &ripper::LAMEProcess::jobFinished, &application, &QApplication::quit);

    // Twice each, the better time counts.
    QElapsedTimer timer;
    double job = 1e9;
    for (int round = 0; round < 2; ++round) {
        timer.restart();
        controller.lameProcess()->runEncoder();
        QApplication::exec();
        job = std::min(job, static_cast<double>(timer.elapsed()) / 1000);
        controller.chooseSource({QString::fromStdString(cd.string())});
    }

    // The same runs from a shell: the arguments the job used, into another folder.
    ripper::RipJobRequest request;
    request.options = controller.encoderOptions();
    request.cdPath = cd.string();
    request.trackList = controller.getChosenTracks();
    request.outputDirectoryField = (root / "Music" / "Loop").string();
    const auto plan = ripper::planRipJob(request);
    std::vector<std::string> commands;
    for (const auto& run : plan.runs) {
        std::string command = "lame"; // the program the resources' link points to
        for (const auto& argument : run.arguments)
            command += " " + shellQuoted(argument);
        commands.push_back(command + " >/dev/null 2>&1");
    }
    std::string sequential = "true", parallel = "printf '%s\\0'";
    for (const auto& command : commands) {
        sequential += "; " + command;
        parallel += " " + shellQuoted(command);
    }
    const int cores = controller.encoderJobs();
    parallel += " | xargs -0 -n 1 -P " + std::to_string(cores) + " sh -c";
    const auto best = [&](const std::string& script) {
        double seconds = 1e9;
        for (int round = 0; round < 2; ++round) {
            timer.restart();
            if (std::system(("sh -c " + shellQuoted(script)).c_str()) != 0)
                std::fprintf(stderr, "a shell loop failed\n");
            seconds = std::min(seconds, static_cast<double>(timer.elapsed()) / 1000);
        }
        return seconds;
    };
    const double loop = best(sequential), xargs = best(parallel);

    std::printf("8 tracks of 30 s, %d at once: Discwell's job %.2f s, lame in a shell loop %.2f s, "
                "lame by xargs -P %d %.2f s\n",
                cores, job, loop, cores, xargs);
    std::printf("job / loop %.3f (goal: at most 0.6 on 2 cores), job / xargs %.3f (goal: at most 1.05)\n",
                job / loop, job / xargs);
    fs::remove_all(root);
}
