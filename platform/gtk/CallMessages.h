#pragma once
// The checks of the call bridge's messages: what a page may send to the
// helper and what the helper may send to a page, member by member.

#include <json-glib/json-glib.h>

#include <string>

namespace gtkui {

std::string jsonString(JsonObject* object, const char* name);
// An integer member, or otherwise when it is missing or not a number.
gint64 jsonInt(JsonObject* object, const char* name, gint64 otherwise);
std::string jsonText(JsonNode* node);
// Copies the members of from that the table of known members allows (each
// of its type and within its size) into the object being built.
void copyKnownMembers(JsonObject* from, JsonBuilder* to);
// {"reply": request, "error": {"name": name, "message": message}} as text.
std::string errorReply(gint64 request, const char* name, const std::string& message);
// Whether a page's command is within the limits; otherwise the error's
// name (TypeError, OperationError) and message.
bool withinLimits(JsonObject* command, std::string& errorName, std::string& message);

}  // namespace gtkui
