#include "CaptureBackend.h"

#include "HostClock.h"
#include "OutputFolder.h"

namespace orvane {

double CaptureBackend::now() {
    return hostTime();
}

QString CaptureBackend::outputFolder() const {
    return outputFolder_.isEmpty() ? defaultOutputFolder() : outputFolder_;
}

} // namespace orvane
