#!/usr/bin/env bash
# Installs every Debian package Orvane needs to build, run and test.
# Idempotent: packages already present are skipped. Works as root or through sudo.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # Qt 6 Widgets, D-Bus, network, PDF and SVG
  qt6-base-dev qt6-base-dev-tools qt6-pdf-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  # FFmpeg libraries (H.264 and HEVC encoders come with Debian's build)
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # sound time-stretched with its pitch kept (atempo)
  libavfilter-dev
  # sound: the client library of PulseAudio and of PipeWire's pulse server
  libpulse-dev
  # X11 through xcb
  libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-composite0-dev
  libxcb-xfixes0-dev libxcb-xinput-dev libxcb-image0-dev
  # Wayland: the window on Qt's wayland plugin, screen casts through the
  # desktop portal and PipeWire, the cursor theme's hands
  qt6-wayland libpipewire-0.3-dev adwaita-icon-theme
  # clicks on Wayland: the kernel's input devices
  libevdev-dev
  # the JSON reader of the clicks sidecar (header-only)
  nlohmann-json3-dev
  # image filters
  libopencv-imgproc-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils ffmpeg python3
  # a private sound server with null sinks for the sound tests
  pulseaudio pulseaudio-utils
  fonts-dejavu-core
  # a headless Wayland session for the tests: PipeWire, mutter, the portal
  dbus dbus-user-session libglib2.0-bin pipewire pipewire-bin wireplumber mutter
  xdg-desktop-portal fuse3 python3-gi gir1.2-glib-2.0
  gstreamer1.0-tools gstreamer1.0-pipewire gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-ugly
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
  else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "install-deps: done"
