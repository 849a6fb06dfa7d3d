#pragma once

// Every declaration of the VST3 binary interface the project uses.

#include "host/vst3/AudioProcessor.h"
#include "host/vst3/ChannelContext.h"
#include "host/vst3/Component.h"
#include "host/vst3/EditController.h"
#include "host/vst3/Events.h"
#include "host/vst3/FUnknown.h"
#include "host/vst3/HostApplication.h"
#include "host/vst3/Iid.h"
#include "host/vst3/Messages.h"
#include "host/vst3/ParameterChanges.h"
#include "host/vst3/PlatformTypes.h"
#include "host/vst3/PlugView.h"
#include "host/vst3/PluginFactory.h"
#include "host/vst3/RunLoop.h"
#include "host/vst3/Stream.h"
#include "host/vst3/UnitInfo.h"
