#include "gui/x11/X11Interface.h"

#include "gui/x11/FreeTypeText.h"
#include "gui/x11/X11Bitmap.h"
#include "gui/x11/X11MessageHook.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace gui {

namespace {

constexpr std::uint64_t doubleClickTime = 400; // ms
constexpr int doubleClickDistance = 4;         // pixels

// The text a key types, as UTF-8 (Latin-1 from the server's lookup).
std::string utf8FromLatin1(const char* bytes, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c == 0x7f)
            continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

KeyCode keyCodeOf(KeySym sym)
{
    switch (sym) {
    case XK_BackSpace: return KeyCode::Backspace;
    case XK_Delete: case XK_KP_Delete: return KeyCode::Delete;
    case XK_Return: case XK_KP_Enter: return KeyCode::Enter;
    case XK_Escape: return KeyCode::Escape;
    case XK_Tab: case XK_ISO_Left_Tab: return KeyCode::Tab;
    case XK_Left: case XK_KP_Left: return KeyCode::Left;
    case XK_Right: case XK_KP_Right: return KeyCode::Right;
    case XK_Up: case XK_KP_Up: return KeyCode::Up;
    case XK_Down: case XK_KP_Down: return KeyCode::Down;
    case XK_Home: case XK_KP_Home: return KeyCode::Home;
    case XK_End: case XK_KP_End: return KeyCode::End;
    case XK_Page_Up: return KeyCode::PageUp;
    case XK_Page_Down: return KeyCode::PageDown;
    default: return KeyCode::Character;
    }
}

} // namespace

X11Control::X11Control(X11Interface& ui, int width, int height, int scale)
    : RootControl(ui, width, height, scale), owner(ui)
{
    Display* d = ui.display();
    const int screen = DefaultScreen(d);
    image = std::make_unique<X11Bitmap>(d, DefaultVisual(d, screen), DefaultDepth(d, screen));
}

X11Control::~X11Control() = default;

int X11Control::modifiersOf(unsigned state) const
{
    int m = 0;
    if (state & ShiftMask)
        m |= Modifier::Shift;
    if (state & Mod1Mask)
        m |= Modifier::Alt;
    if (state & ControlMask)
        m |= Modifier::Control;
    if (state & Mod4Mask)
        m |= Modifier::Extra;
    if (state & Button1Mask)
        m |= Modifier::LeftButton;
    if (state & Button3Mask)
        m |= Modifier::RightButton;
    if (state & Button2Mask)
        m |= Modifier::MiddleButton;
    return m;
}

void X11Control::handleEvent(XEvent& event)
{
    int modifiers = 0;
    switch (event.type) {
    case ButtonPress:
    case ButtonRelease:
        modifiers = modifiersOf(event.xbutton.state);
        break;
    case MotionNotify:
        modifiers = modifiersOf(event.xmotion.state);
        break;
    case KeyPress:
        modifiers = modifiersOf(event.xkey.state);
        break;
    default:
        break;
    }
    if (messageHook && messageHook->handle(event, modifiers))
        return;

    switch (event.type) {
    case Expose: {
        const XExposeEvent& e = event.xexpose;
        exposed = exposed.unite(Rect::ofSize(e.x, e.y, e.width, e.height));
        break;
    }
    case ConfigureNotify: {
        const int w = std::max(1, event.xconfigure.width / scale());
        const int h = std::max(1, event.xconfigure.height / scale());
        if (w != width() || h != height())
            setSize(w, h);
        break;
    }
    case MotionNotify:
        lastPoint = logical(event.xmotion.x, event.xmotion.y);
        mouseMoveAt(lastPoint, modifiers);
        break;
    case ButtonPress: {
        const Point p = logical(event.xbutton.x, event.xbutton.y);
        lastPoint = p;
        const unsigned button = event.xbutton.button;
        if (button == Button4 || button == Button5) {
            wheelAt(p, modifiers, button == Button4 ? 120 : -120);
        } else if (button == Button1) {
            // The state is that before the press; the press itself counts.
            modifiers |= Modifier::LeftButton;
            const std::uint64_t now = owner.milliseconds();
            if (now - lastPressTime <= doubleClickTime && std::abs(p.x - lastPressPoint.x) <= doubleClickDistance &&
                std::abs(p.y - lastPressPoint.y) <= doubleClickDistance) {
                modifiers |= Modifier::DoubleClick;
                lastPressTime = 0;
            } else {
                lastPressTime = now;
                lastPressPoint = p;
            }
            pressPending = true;
            mouseDownAt(MouseButton::Left, p, modifiers);
        }
        // Right and middle presses are left to the message hook.
        break;
    }
    case ButtonRelease:
        if (event.xbutton.button == Button1) {
            const Point p = logical(event.xbutton.x, event.xbutton.y);
            lastPoint = p;
            pressPending = false;
            mouseUpAt(MouseButton::Left, p, modifiers & ~Modifier::LeftButton);
        }
        break;
    case LeaveNotify:
    case EnterNotify:
        // Someone else grabbed the pointer in the middle of a press: the
        // press ends here, as if the button had been released.
        if (event.xcrossing.mode == NotifyGrab && pressPending) {
            pressPending = false;
            mouseUpAt(MouseButton::Left, lastPoint, 0);
        }
        if (event.type == LeaveNotify)
            mouseLeftWindow();
        break;
    case KeyPress: {
        char buffer[16];
        KeySym sym = NoSymbol;
        const int count = XLookupString(&event.xkey, buffer, sizeof buffer, &sym, nullptr);
        KeyEvent key;
        key.code = keyCodeOf(sym);
        key.modifiers = modifiers;
        if (key.code == KeyCode::Character)
            key.text = utf8FromLatin1(buffer, count);
        if (key.code != KeyCode::Character || !key.text.empty())
            keyDown(key);
        break;
    }
    default:
        break;
    }
}

void X11Control::present()
{
    // Each painted area on its own: a meter and a knob far apart do not
    // send all the pixels between them.
    std::vector<Rect> areas = paintDirtyAreas();
    if (!exposed.empty())
        areas.push_back(exposed);
    exposed = {};
    bool copied = false;
    for (const Rect& painted : areas) {
        const Rect area = painted.intersection({0, 0, surface().width(), surface().height()});
        if (area.empty())
            continue;
        image->copy(surface(), area, owner.windowId(), owner.gc());
        copied = true;
    }
    if (copied)
        XFlush(owner.display());
}

X11Interface::X11Interface(const Options& options)
{
    xDisplay = XOpenDisplay(nullptr);
    if (!xDisplay)
        throw std::runtime_error("Cannot open the X display");
    const int screen = DefaultScreen(xDisplay);
    const int scale = options.scale == 1 || options.scale == 2 ? options.scale : detectScale(xDisplay);
    topLevel = options.parent == 0;
    const Window parent = topLevel ? RootWindow(xDisplay, screen) : options.parent;

    XSetWindowAttributes attributes{};
    attributes.colormap = DefaultColormap(xDisplay, screen);
    attributes.border_pixel = 0;
    attributes.background_pixmap = None; // never erased: the toolkit paints it all
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | KeyPressMask | StructureNotifyMask;
    const unsigned w = static_cast<unsigned>(options.width * scale), h = static_cast<unsigned>(options.height * scale);
    xWindow = XCreateWindow(xDisplay, parent, options.x, options.y, w, h, 0, DefaultDepth(xDisplay, screen), InputOutput,
                            DefaultVisual(xDisplay, screen), CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask,
                            &attributes);
    xGc = XCreateGC(xDisplay, xWindow, 0, nullptr);

    if (topLevel) {
        XStoreName(xDisplay, xWindow, options.title.c_str());
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = static_cast<int>(w);
        hints->min_height = hints->max_height = static_cast<int>(h);
        XSetWMNormalHints(xDisplay, xWindow, hints);
        XFree(hints);
        Atom deleteWindow = XInternAtom(xDisplay, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(xDisplay, xWindow, &deleteWindow, 1);
        deleteAtom = deleteWindow;
    }
    setRoot(std::make_unique<X11Control>(*this, options.width, options.height, scale));
    XMapWindow(xDisplay, xWindow);
    XFlush(xDisplay);
}

X11Interface::~X11Interface()
{
    destroyRoot();
    XFreeGC(xDisplay, xGc);
    XDestroyWindow(xDisplay, xWindow);
    XCloseDisplay(xDisplay);
}

int X11Interface::connectionNumber() const { return ConnectionNumber(xDisplay); }

bool X11Interface::idle()
{
    while (XPending(xDisplay) > 0) {
        XEvent event;
        XNextEvent(xDisplay, &event);
        if (event.xany.window != xWindow)
            continue;
        if (event.type == ClientMessage && static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom) {
            wasClosed = true;
            continue;
        }
        window().handleEvent(event);
    }
    runDueTimers();
    window().present();
    return !wasClosed;
}

void X11Interface::waitForEvents(int maxMilliseconds)
{
    int timeout = maxMilliseconds;
    if (const auto due = nextTimerDue()) {
        const std::uint64_t now = milliseconds();
        timeout = *due <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(*due - now, static_cast<std::uint64_t>(timeout)));
    }
    if (XPending(xDisplay) > 0)
        return;
    pollfd fd{connectionNumber(), POLLIN, 0};
    poll(&fd, 1, timeout);
}

std::unique_ptr<Text> X11Interface::createText(const Font& font)
{
    auto text = std::make_unique<FreeTypeText>();
    text->setFont(font);
    return text;
}

void X11Interface::requestKeyboard()
{
    XSetInputFocus(xDisplay, xWindow, RevertToParent, CurrentTime);
    XFlush(xDisplay);
}

bool X11Interface::openExternally(const std::string& target)
{
    if (target.empty())
        return false;
    // Everything the children need is prepared before forking: between fork
    // and exec only async-signal-safe calls are allowed. The middle child
    // exits at once, so the opener is adopted by init and never becomes a
    // zombie of the host.
    std::string program = "xdg-open";
    std::string argument = target;
    char* argv[] = {program.data(), argument.data(), nullptr};
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        setsid();
        if (fork() == 0) {
            execvp(argv[0], argv);
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int X11Interface::detectScale(Display* display)
{
    for (const char* name : {"OSTRAND_UI_SCALE", "GDK_SCALE"})
        if (const char* value = std::getenv(name); value && *value)
            return std::atoi(value) >= 2 ? 2 : 1;
    const char* resources = XResourceManagerString(display);
    if (!resources)
        return 1;
    XrmInitialize();
    int scale = 1;
    if (XrmDatabase db = XrmGetStringDatabase(resources)) {
        char* type = nullptr;
        XrmValue value{};
        if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
            scale = std::atof(value.addr) >= 144.0 ? 2 : 1;
        XrmDestroyDatabase(db);
    }
    return scale;
}

} // namespace gui
