#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <chrono>
#include <memory>

namespace morvane {

// What a Wayland compositor shows of one of our X11 windows, where the session lets us ask. On the
// X display a window is mapped or not; a compositor may still keep a mapped window out of sight
// (sway leaves a window it mapped while a full-screen one was in front behind that one).
class CompositorWindows {
public:
    enum class Sight {
        shown,
        covered, // mapped, but the compositor keeps it out of sight
        unknown, // the compositor cannot be asked, did not answer, or does not know the window
    };

    virtual ~CompositorWindows() = default;

    // x11Window: the window's id on the X display. A compositor that can be asked answers on a worker
    // thread within a bound; the others answer at once.
    virtual QFuture<Sight> sightOf(quint32 x11Window) const = 0;
};

// Where the compositor cannot be asked (an X11 session, GNOME Shell, KWin): every window's sight is
// unknown.
class UnknownCompositorWindows : public CompositorWindows {
public:
    QFuture<Sight> sightOf(quint32) const override { return QtFuture::makeReadyFuture(Sight::unknown); }
};

// sway, through its IPC socket: get_tree lists every window it holds, with the X11 id of each
// Xwayland one and whether it is visible (a window behind a full-screen one is not).
class SwayCompositorWindows : public CompositorWindows {
public:
    // sway answers at once; a compositor that takes longer is left unasked.
    static constexpr std::chrono::milliseconds answerBound{250};

    explicit SwayCompositorWindows(QString socketPath);

    // Asked on Qt's shared pool, where reads that wait on other applications run: a sway that does
    // not answer holds up neither the caller nor the file or store work.
    QFuture<Sight> sightOf(quint32 x11Window) const override;

    // The question itself, on the calling thread, which it holds for up to answerBound.
    static Sight askSight(const QString& socketPath, quint32 x11Window);

    // The sight of that window in a get_tree answer; unknown when the tree does not hold it or the
    // answer is not one.
    static Sight sightInTree(const QByteArray& tree, quint32 x11Window);

private:
    QString m_socketPath;
};

// sway's when the session names its socket (SWAYSOCK), else the stand-in.
std::unique_ptr<CompositorWindows> sessionCompositorWindows();

} // namespace morvane
