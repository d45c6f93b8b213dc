#include "CaptureBackend.h"

#include "HostClock.h"
#include "OutputFolder.h"

namespace orvane {

double CaptureBackend::now() {
    return hostTime();
}

QString CaptureBackend::outputFolder() {
    return defaultOutputFolder();
}

} // namespace orvane
