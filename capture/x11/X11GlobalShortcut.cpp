#include "X11GlobalShortcut.h"

#include "XcbHandles.h"

#include <QSocketNotifier>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace orvane {

using namespace x11;

namespace {

struct Combination {
    std::uint16_t modifiers = 0;
    std::uint32_t keysym = 0;
};

// "Ctrl+Shift+R" as X modifiers and a keysym; nothing for what X11 keys
// cannot be named by here.
std::optional<Combination> parseKeys(const QString& keys) {
    const QStringList parts = keys.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return std::nullopt;
    }
    Combination c;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QString m = parts[i].trimmed().toLower();
        if (m == QLatin1String("ctrl") || m == QLatin1String("control")) {
            c.modifiers |= XCB_MOD_MASK_CONTROL;
        } else if (m == QLatin1String("shift")) {
            c.modifiers |= XCB_MOD_MASK_SHIFT;
        } else if (m == QLatin1String("alt")) {
            c.modifiers |= XCB_MOD_MASK_1;
        } else if (m == QLatin1String("meta") || m == QLatin1String("super")) {
            c.modifiers |= XCB_MOD_MASK_4;
        } else {
            return std::nullopt;
        }
    }
    const QString key = parts.last().trimmed();
    if (key.size() == 1 && key[0].isLetterOrNumber() && key[0].unicode() < 128) {
        c.keysym = key[0].toLower().unicode(); // Latin-1 keysyms are their characters
    } else if (key.size() >= 2 && key[0].toUpper() == QLatin1Char('F')) {
        bool ok = false;
        const int n = key.mid(1).toInt(&ok);
        if (!ok || n < 1 || n > 12) {
            return std::nullopt;
        }
        c.keysym = 0xffbe + static_cast<std::uint32_t>(n - 1); // XK_F1...
    } else {
        return std::nullopt;
    }
    // Ctrl+Alt+F1...F12 switch the console: the server keeps them.
    const std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    if (c.keysym >= 0xffbe && (c.modifiers & ctrlAlt) == ctrlAlt) {
        return std::nullopt;
    }
    // A shortcut without Ctrl, Alt or Meta would take a key from every program.
    if ((c.modifiers & (XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4)) == 0) {
        return std::nullopt;
    }
    return c;
}

// Caps Lock and Num Lock (Mod2 on nearly every layout) are held or not: the
// grab must hold either way.
constexpr std::array<std::uint16_t, 4> kLocks = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                 XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

} // namespace

struct X11GlobalShortcut::Grab {
    Connection conn;
    std::vector<xcb_keycode_t> keycodes;
    std::uint16_t modifiers = 0;
};

X11GlobalShortcut::X11GlobalShortcut(std::string display, QObject* parent)
    : GlobalShortcut(parent), display_(std::move(display)) {}

X11GlobalShortcut::~X11GlobalShortcut() {
    ungrab();
}

void X11GlobalShortcut::ungrab() {
    delete notifier_;
    notifier_ = nullptr;
    if (grab_ && !grab_->conn.broken()) {
        for (xcb_keycode_t code : grab_->keycodes) {
            for (std::uint16_t lock : kLocks) {
                xcb_ungrab_key(grab_->conn.get(), code, grab_->conn.root(),
                               static_cast<std::uint16_t>(grab_->modifiers | lock));
            }
        }
        xcb_flush(grab_->conn.get());
    }
    grab_.reset();
    keys_.clear();
}

QString X11GlobalShortcut::setKeys(const QString& keys) {
    const QString problem = registerKeys(keys);
    setProblem(problem);
    return problem;
}

QString X11GlobalShortcut::registerKeys(const QString& keys) {
    ungrab();
    if (keys.trimmed().isEmpty()) {
        return {};
    }
    const std::optional<Combination> combination = parseKeys(keys);
    if (!combination) {
        return QStringLiteral("%1 cannot be a shortcut: use Ctrl, Alt or Meta with a letter, a "
                              "digit or F1 to F12")
            .arg(keys);
    }
    std::optional<Connection> conn = Connection::open(display_);
    if (!conn) {
        return QStringLiteral("The shortcut cannot be registered: the X display does not answer");
    }
    auto grab = std::make_unique<Grab>(Grab{std::move(*conn), {}, combination->modifiers});
    xcb_connection_t* c = grab->conn.get();

    // Every keycode that types the keysym (a layout may have it on several keys).
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, first, static_cast<std::uint8_t>(count)), nullptr));
    if (mapping) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int perCode = mapping->keysyms_per_keycode;
        for (int k = 0; k < count; ++k) {
            for (int j = 0; j < perCode; ++j) {
                if (syms[k * perCode + j] == combination->keysym) {
                    grab->keycodes.push_back(static_cast<xcb_keycode_t>(first + k));
                    break;
                }
            }
        }
    }
    if (grab->keycodes.empty()) {
        return QStringLiteral("The shortcut cannot be registered: no key of this keyboard types %1")
            .arg(keys.section(QLatin1Char('+'), -1));
    }
    ErrorTrap trap(c);
    for (xcb_keycode_t code : grab->keycodes) {
        for (std::uint16_t lock : kLocks) {
            trap.check(xcb_grab_key_checked(c, 1, grab->conn.root(),
                                            static_cast<std::uint16_t>(grab->modifiers | lock), code,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    if (!trap.ok()) {
        // BadAccess: another client grabbed it first. Give back what we got.
        grab_ = std::move(grab);
        ungrab();
        return QStringLiteral("%1 is already taken by another program").arg(keys);
    }
    grab_ = std::move(grab);
    keys_ = keys;
    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11GlobalShortcut::readEvents);
    return {};
}

void X11GlobalShortcut::readEvents() {
    if (!grab_) {
        return;
    }
    bool pressed = false;
    while (EventPtr event{xcb_poll_for_event(grab_->conn.get())}) {
        // Only presses: holding the keys sends repeats of press and release.
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            pressed = true;
        }
    }
    if (grab_->conn.broken()) {
        // The display went away: nothing more will come.
        delete notifier_;
        notifier_ = nullptr;
        return;
    }
    if (pressed) {
        emit activated();
    }
}

} // namespace orvane
