// Compares the recorder with `ffmpeg -f x11grab` on the same rectangle of the
// same X server, showing the same moving content: CPU time per recorded
// second (the recorder's process and the X server's), frame slots missing or
// doubled, black frames, peak memory, and PSNR of each recording against the
// exact pictures that were on the screen. The recorder reads the content
// window's own pixels, as the program reads its own window. With --sound, both
// also record sound from the PulseAudio server (run.sh starts one): the chat's
// beeps (played by a child of the recorder, as the client's web processes are)
// and the microphone, mixed into WMAv2 (ffmpeg: two pulse inputs and amix);
// the beeps tell how far sound and picture are apart in each file.
//
//   recorder_bench compare --seconds 20 --server-pid PID --out DIR [--sound]
//   recorder_bench content X Y W H      (draws until killed; prints "ready WINDOW START_NS")
//   recorder_bench record FILE SECONDS X Y W H WINDOW [START_NS]  (START_NS: with sound)
//   recorder_bench beep START_NS         (plays until killed)
//   recorder_bench analyse FILE          (a recording of the content)
//
// run.sh runs "compare" on an Xvfb of its own, then on the Xwayland of a
// headless weston.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchAnalysis.h"
#include "BenchContent.h"
#include "BenchSound.h"
#include "platform/recorder/ChatSoundSink.h"
#include "platform/recorder/X11ScreenRecorder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kX = 110, kY = 112, kW = 694, kH = 554;
constexpr double kFps = 30.0;

int content(int x, int y, int w, int h) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = ExposureMask;
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), x, y, w, h, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display, window);
    XEvent event;
    XWindowEvent(display, window, ExposureMask, &event);
    // Out of view; XTest, since Xwayland without an input seat dies of XWarpPointer.
    XTestFakeMotionEvent(display, screen, 0, 0, CurrentTime);
    const GC gc = XCreateGC(display, window, 0, nullptr);
    const Pixmap back = XCreatePixmap(display, window, w, h, DefaultDepth(display, screen));
    std::vector<std::uint8_t> pixels;
    bench::renderContent(0, w, h, pixels);
    XImage* image = XCreateImage(display, DefaultVisual(display, screen), 24, ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels.data()), w, h, 32, w * 4);
    bool announced = false;
    const auto start = Clock::now();
    for (std::uint32_t n = 0;; ++n) {
        bench::renderContent(n, w, h, pixels);
        image->data = reinterpret_cast<char*>(pixels.data());
        // Xlib splits a large XPutImage into several requests, and a grab
        // between them would see half of two pictures: draw into a pixmap,
        // then copy it to the window in one request.
        XPutImage(display, back, gc, image, 0, 0, 0, 0, w, h);
        XCopyArea(display, back, window, gc, 0, 0, w, h, 0, 0);
        XSync(display, False);
        if (!announced) {
            // Picture n is shown from start + n / 30 s on the monotonic clock.
            std::printf("ready %lu %lld\n", window,
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   start.time_since_epoch())
                                                   .count()));
            std::fflush(stdout);
            announced = true;
        }
        std::this_thread::sleep_until(start + std::chrono::microseconds(33333) * (n + 1));
    }
}

pid_t spawnSelf(const std::vector<std::string>& args) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>("/proc/self/exe")};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    return child;
}

// startNs >= 0: with the chat's beeps (a child of this process) and the microphone.
int record(const std::string& path, double seconds, int x, int y, int w, int h,
           unsigned long window, long long startNs) {
    platform::RecordingRequest request;
    request.area = {x, y, w, h};
    request.framesPerSecond = kFps;
    request.path = path;
    recorder::RecorderTarget target{{}, window, {}};
    pid_t beeper = -1;
    std::unique_ptr<recorder::ChatSoundSink> chatSink;
    if (startNs >= 0) {
        chatSink = recorder::ChatSoundSink::create();  // the beeper plays into it
        request.sound = platform::SoundSources{true, true};
        target.chatSink = chatSink->name();
        beeper = spawnSelf({"beep", std::to_string(startNs)});
    }
    recorder::X11ScreenRecorder recorder(request, target);
    recorder.start();
    std::this_thread::sleep_until(Clock::now() + std::chrono::duration<double>(seconds));
    recorder.stop();
    // Not waited for: its CPU time is not the recorder's.
    if (beeper > 0) kill(beeper, SIGKILL);
    std::printf("recorder: %lld frame slots skipped, %lld sound frames dropped\n",
                static_cast<long long>(recorder.skippedFrames()),
                static_cast<long long>(recorder.droppedSoundFrames()));
    return 0;
}

struct Run {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    long peakKiB = 0;
    double serverCpuSeconds = 0;
};

double processCpu(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::stod(field);  // utime, stime
    return ticks / sysconf(_SC_CLK_TCK);
}

Run runChild(const std::vector<std::string>& argv, pid_t server, const std::string& errFile) {
    const double serverBefore = processCpu(server);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!errFile.empty() && !std::freopen(errFile.c_str(), "w", stderr)) _exit(127);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run run;
    run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
    run.peakKiB = usage.ru_maxrss;
    run.serverCpuSeconds = processCpu(server) - serverBefore;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0].c_str(), status);
    return run;
}

// ffmpeg's own count of frames it doubled or dropped, from its last progress line.
std::string ffmpegCounters(const std::string& log) {
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto dup = text.rfind("dup=");
    if (dup == std::string::npos) return "dup=0 drop=0";
    const auto end = text.find_first_of("\r\n", dup);
    std::string found = text.substr(dup, end - dup);
    const auto speed = found.find(" speed");
    return found.substr(0, speed);
}

void printSync(const char* who, const std::string& path, const bench::Analysis& video) {
    const bench::SyncFigures f = bench::measureSync(bench::beepOnsets(path), video.firstShown);
    std::printf(
        "%-16s sound minus picture over %zu beeps: mean %+.1f ms, min %+.1f, max %+.1f, "
        "first %+.1f, last %+.1f\n",
        who, f.beeps, f.meanMs, f.minMs, f.maxMs, f.firstMs, f.lastMs);
}

int compare(double seconds, pid_t server, const std::string& out, const std::string& self,
            bool sound) {
    // The content runs in a process of its own, so that its drawing is not counted.
    int ready[2];
    if (pipe(ready) != 0) return 1;
    const pid_t drawer = fork();
    if (drawer == 0) {
        dup2(ready[1], STDOUT_FILENO);
        execl(self.c_str(), self.c_str(), "content", std::to_string(kX).c_str(),
              std::to_string(kY).c_str(), std::to_string(kW).c_str(), std::to_string(kH).c_str(),
              nullptr);
        _exit(127);
    }
    close(ready[1]);
    char line[64] = {};
    unsigned long window = 0;
    long long startNs = 0;
    if (read(ready[0], line, sizeof line - 1) <= 0 ||
        std::sscanf(line, "ready %lu %lld", &window, &startNs) != 2) {
        std::fprintf(stderr, "content did not start\n");
        return 1;
    }

    const std::string ours = out + "/recorder.wmv", theirs = out + "/x11grab.wmv";
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : ":0";
    const std::string duration = std::to_string(seconds);
    const Run ourRun = runChild(
        {self, "record", ours, duration, std::to_string(kX), std::to_string(kY), std::to_string(kW),
         std::to_string(kH), std::to_string(window), std::to_string(sound ? startNs : -1)},
        server, "");
    const std::string log = out + "/x11grab.log";
    // The same sounds for ffmpeg: the sink's monitor (only the beeps play
    // there) and the microphone, mixed and encoded alike.
    const std::vector<std::string> soundInputs = {"-f",
                                                  "pulse",
                                                  "-fragment_size",
                                                  "1920",
                                                  "-i",
                                                  "speakers.monitor",
                                                  "-f",
                                                  "pulse",
                                                  "-fragment_size",
                                                  "1920",
                                                  "-i",
                                                  "voice.monitor",
                                                  "-filter_complex",
                                                  "[1:a][2:a]amix=inputs=2:normalize=0[a]",
                                                  "-map",
                                                  "0:v",
                                                  "-map",
                                                  "[a]",
                                                  "-c:a",
                                                  "wmav2",
                                                  "-b:a",
                                                  "128k",
                                                  "-ar",
                                                  "48000",
                                                  "-ac",
                                                  "2"};
    const pid_t beeper = sound ? fork() : -1;
    if (beeper == 0) {
        execl(self.c_str(), self.c_str(), "beep", std::to_string(startNs).c_str(), nullptr);
        _exit(127);
    }
    std::vector<std::string> ffmpeg = {
        "ffmpeg",
        "-nostdin",
        "-y",
        "-f",
        "x11grab",
        "-framerate",
        "30",
        "-video_size",
        std::to_string(kW) + "x" + std::to_string(kH),
        "-i",
        display + "+" + std::to_string(kX) + "," + std::to_string(kY)};
    if (sound) ffmpeg.insert(ffmpeg.end(), soundInputs.begin(), soundInputs.end());
    ffmpeg.insert(ffmpeg.end(),
                  {"-c:v", "wmv2", "-b:v", "1.5M", "-g", "300", "-t", duration, theirs});
    const Run theirRun = runChild(ffmpeg, server, log);
    if (beeper > 0) {
        kill(beeper, SIGKILL);
        waitpid(beeper, nullptr, 0);
    }
    kill(drawer, SIGTERM);
    waitpid(drawer, nullptr, 0);

    const bench::Analysis a = bench::analyse(ours), b = bench::analyse(theirs);
    std::printf("%.0f s of %dx%d at %.0f fps, same content, same X server\n", seconds, kW, kH,
                kFps);
    std::printf("%-34s %14s %14s\n", "", "recorder", "ffmpeg x11grab");
    std::printf("%-34s %14.2f %14.2f\n", "file duration (s)", a.duration, b.duration);
    std::printf("%-34s %14.3f %14.3f\n", "CPU s per recorded s (process)",
                ourRun.cpuSeconds / a.duration, theirRun.cpuSeconds / b.duration);
    std::printf("%-34s %14.3f %14.3f\n", "CPU s per recorded s (X server)",
                ourRun.serverCpuSeconds / a.duration, theirRun.serverCpuSeconds / b.duration);
    std::printf("%-34s %14.3f\n", "CPU ratio recorder / ffmpeg (process)",
                (ourRun.cpuSeconds / a.duration) / (theirRun.cpuSeconds / b.duration));
    std::printf("%-34s %14zu %14zu\n", "frames", a.frames, b.frames);
    std::printf("%-34s %14ld %14ld\n", "missing frame slots", a.missingSlots, b.missingSlots);
    std::printf("%-34s %14ld %14ld\n", "doubled frame slots", a.doubledSlots, b.doubledSlots);
    std::printf("%-34s %14zu %14zu\n", "black frames", a.black, b.black);
    std::printf("%-34s %14s %14s\n", "ffmpeg's own counters", "-", ffmpegCounters(log).c_str());
    std::printf("%-34s %14.1f %14.1f\n", "peak memory (MiB)", ourRun.peakKiB / 1024.0,
                theirRun.peakKiB / 1024.0);
    std::printf("%-34s %14.2f %14.2f\n", "PSNR Y (dB)", a.psnrY, b.psnrY);
    std::printf("%-34s %14.2f %14.2f\n", "PSNR Y+U+V (dB)", a.psnrAll, b.psnrAll);
    std::printf("%-34s %14zu %14zu\n", "frames with unreadable bar code", a.unreadable,
                b.unreadable);
    if (sound) {
        printSync("recorder", ours, a);
        printSync("ffmpeg", theirs, b);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[0] == "content")
        return content(std::stoi(args[1]), std::stoi(args[2]), std::stoi(args[3]),
                       std::stoi(args[4]));
    if ((args.size() == 8 || args.size() == 9) && args[0] == "record")
        return record(args[1], std::stod(args[2]), std::stoi(args[3]), std::stoi(args[4]),
                      std::stoi(args[5]), std::stoi(args[6]), std::stoul(args[7]),
                      args.size() == 9 ? std::stoll(args[8]) : -1);
    if (args.size() == 2 && args[0] == "beep") return bench::beep(std::stoll(args[1]));
    if (args.size() == 2 && args[0] == "analyse") {  // a recording made elsewhere
        const bench::Analysis a = bench::analyse(args[1]);
        std::printf(
            "frames %zu, black %zu, missing slots %ld, doubled slots %ld, PSNR Y %.2f dB, "
            "Y+U+V %.2f dB\n",
            a.frames, a.black, a.missingSlots, a.doubledSlots, a.psnrY, a.psnrAll);
        return 0;
    }
    if ((args.size() == 7 || (args.size() == 8 && args[7] == "--sound")) && args[0] == "compare" &&
        args[1] == "--seconds" && args[3] == "--server-pid" && args[5] == "--out")
        return compare(std::stod(args[2]), std::stoi(args[4]), args[6], "/proc/self/exe",
                       args.size() == 8);
    std::fprintf(stderr,
                 "usage: %s compare --seconds S --server-pid PID --out DIR [--sound]\n"
                 "       %s content X Y W H\n"
                 "       %s record FILE SECONDS X Y W H WINDOW [START_NS]\n"
                 "       %s beep START_NS\n"
                 "       %s analyse FILE\n",
                 argv[0], argv[0], argv[0], argv[0], argv[0]);
    return 2;
}
