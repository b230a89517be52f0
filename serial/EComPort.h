#pragma once
#include "base/Failure.h"

#include <string>

// Error numbers of the serial layer.
enum : int {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_SetStateFailed = 7,
    CError_SetTimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_ConnChangeProp = 14,
    CError_RegError = 23,
};

// A failure of the serial layer: the layer's own number and the operating
// system's (errno here), -1 when there is none. The message is the fixed text
// for the number followed by " (win error code: %d)"; the suffix keeps its
// historical wording because users and stored reports know it.
class EComPort : public EFailure {
public:
    EComPort(int errorCode, int systemErrorCode);
    explicit EComPort(int errorCode);  // no system number: the text alone
    int ErrorCode() const { return errorCode_; }
    int SystemErrorCode() const { return systemErrorCode_; }

    static std::string ErrorText(int errorCode);

private:
    int errorCode_;
    int systemErrorCode_;
};
