#include "EComPort.h"

#include "LineGone.h"
#include "PortPermission.h"

namespace {

std::string MessageFor(int errorCode, int systemErrorCode) {
    std::string text = EComPort::ErrorText(errorCode);
    // -1 means "no system number": the text then stands alone.
    if (systemErrorCode != -1) text += " (win error code: " + std::to_string(systemErrorCode) + ")";
    return text;
}

// The system's number means something only for the step that failed: a
// refused open says why the port is not to be had, a failed exchange may
// say that the line hung up.
FailureKind KindOf(int errorCode, int systemErrorCode) {
    if (systemErrorCode == -1) return FailureKind::Other;
    switch (errorCode) {
    case CError_OpenFailed:
        return OpenFailureKind(systemErrorCode);
    case CError_WriteFailed:
    case CError_ReadFailed:
    case CError_ClearComFailed:
    case CError_ModemStatFailed:
        return SystemErrorMeansLineGone(systemErrorCode) ? FailureKind::LineGone : FailureKind::Other;
    default:
        // Configuring fails for its own reasons; they are not a line that hung up.
        return FailureKind::Other;
    }
}

}  // namespace

EComPort::EComPort(int errorCode, int systemErrorCode)
    : EFailure(MessageFor(errorCode, systemErrorCode), KindOf(errorCode, systemErrorCode), systemErrorCode),
      errorCode_(errorCode),
      systemErrorCode_(systemErrorCode) {}

EComPort::EComPort(int errorCode) : EComPort(errorCode, -1) {}

std::string EComPort::ErrorText(int errorCode) {
    switch (errorCode) {
    case CError_OpenFailed: return "Unable to open com port";
    case CError_WriteFailed: return "WriteFile function failed";
    case CError_ReadFailed: return "ReadFile function failed";
    case CError_SetStateFailed: return "SetCommState function failed";
    case CError_SetTimeoutsFailed: return "SetCommTimeouts failed";
    case CError_SetupComFailed: return "SetupComm function failed";
    case CError_ClearComFailed: return "ClearCommError function failed";
    case CError_ModemStatFailed: return "GetCommModemStatus function failed";
    case CError_ConnChangeProp: return "Cannot set property while connected";
    case CError_RegError: return "Registry error";
    default: return "Com port error " + std::to_string(errorCode);
    }
}
