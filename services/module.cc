// The services library's exports: its class table (settings, stored variables,
// notification, change notification sink) behind DllGetClassObject and friends.
#include "change_sink_service.h"
#include "lumora/class_table.h"
#include "notification_service.h"
#include "settings_service.h"
#include "stored_variables_service.h"

namespace {

using namespace lumora;

ModuleState g_module;  // lives as long as the library is loaded

const ClassEntry kClasses[] = {
    {{&CLSID_LumoraSettings, "Lumora.Settings.1", "Lumora.Settings", "Lumora Settings Class", "Apartment"},
     &MakeFactory<ClassFactory<services::SettingsService>>},
    {{&CLSID_LumoraStoredVariables, "Lumora.StoredVariables.1", "Lumora.StoredVariables",
      "Lumora StoredVariables Class", "Apartment"},
     &MakeFactory<ClassFactory<services::StoredVariablesService>>},
    {{&CLSID_LumoraNotification, "Lumora.Notification.1", "Lumora.Notification", "Lumora Notification Class",
      "Apartment"},
     &MakeFactory<ClassFactory<services::NotificationService>>},
    {{&CLSID_LumoraChangeSink, "Lumora.ChangeSink.1", "Lumora.ChangeSink", "Lumora ChangeSink Class", "Apartment"},
     &MakeFactory<ClassFactory<services::ChangeSinkService>>},
};

ClassTable& Table() {
  static ClassTable table(g_module, kClasses);  // released when the library is unloaded
  return table;
}

}  // namespace

LUMORA_DEFINE_SERVER_EXPORTS(Table())
