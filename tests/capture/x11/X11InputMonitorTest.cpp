#include "X11TestSupport.h"

#include "capture/x11/X11InputMonitor.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace orvane;
using namespace orvane::test;

namespace {
// placeholder: filled below
} // namespace
