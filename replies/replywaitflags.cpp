#include "replywaitflags.h"

ReplyWaitFlags replyWaitFlags;
quint32 baudProbeTicks = 0;
