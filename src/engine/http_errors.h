// The HTTP server's own failures, each with its fixed message.
#pragma once

#include "platform/errors.h"

namespace tamsel {

TAMSEL_EXCEPTION(EHTTPServerError, EEngineException);
TAMSEL_FIXED_EXCEPTION(EHTTPErrorParsingCommand, EHTTPServerError, "Error in parsing command.");
TAMSEL_FIXED_EXCEPTION(EHTTPUnsupportedAuthorisationScheme, EHTTPServerError,
                       "Unsupported authorization scheme.");
TAMSEL_FIXED_EXCEPTION(EHTTPHeaderAlreadyWritten, EHTTPServerError,
                       "Header has already been written.");
TAMSEL_FIXED_EXCEPTION(EHTTPCannotSwitchSessionStateWhenActive, EHTTPServerError,
                       "Cannot change session state when the server is active.");

}  // namespace tamsel
