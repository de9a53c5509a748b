#include "session/session_state.h"

SessionStateRecord SessionState;

void ResetSessionState() { SessionState = SessionStateRecord{}; }
