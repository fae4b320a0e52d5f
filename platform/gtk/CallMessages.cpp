#include "platform/gtk/CallMessages.h"

#include <cstring>

#include "platform/gtk/CallBridge.h"

namespace gtkui {
namespace {

enum class Kind { Text, Integer, Boolean, Object, List };

struct Known {
    const char* name;
    Kind kind;
    size_t limit;  // bytes of text, or of the whole object as JSON
};

// Base64 of a 256 kB message.
constexpr size_t MaxEncoded = (MaxCallMessageBytes + 2) / 3 * 4;

constexpr Known kKnown[] = {
    {"type", Kind::Text, 16},
    {"sdp", Kind::Text, MaxCallMessageBytes},
    {"candidate", Kind::Text, 4096},
    {"mline", Kind::Integer, 0},
    {"which", Kind::Text, 32},
    {"value", Kind::Text, 32},
    {"channel", Kind::Integer, 0},
    {"label", Kind::Text, 65535},
    {"protocol", Kind::Text, 65535},
    {"ordered", Kind::Boolean, 0},
    {"negotiated", Kind::Boolean, 0},
    {"id", Kind::Integer, 0},
    {"maxRetransmits", Kind::Integer, 0},
    {"maxPacketLifeTime", Kind::Integer, 0},
    {"text", Kind::Text, MaxCallMessageBytes},
    {"data", Kind::Text, MaxEncoded},
    {"message", Kind::Text, 4096},
    {"buffered", Kind::Integer, 0},
    {"stats", Kind::Object, MaxCallMessageBytes},
    {"config", Kind::Object, 16384},
    {"kind", Kind::Text, 40},
    {"index", Kind::Integer, 0},
    {"key", Kind::Boolean, 0},
    {"direction", Kind::Text, 16},
    {"transceivers", Kind::List, 16384},
};

bool holdsKind(JsonNode* node, Kind kind) {
    if (kind == Kind::Object) return JSON_NODE_HOLDS_OBJECT(node);
    if (kind == Kind::List) return JSON_NODE_HOLDS_ARRAY(node);
    if (!JSON_NODE_HOLDS_VALUE(node)) return false;
    const GType type = json_node_get_value_type(node);
    if (kind == Kind::Text) return type == G_TYPE_STRING;
    if (kind == Kind::Boolean) return type == G_TYPE_BOOLEAN;
    return type == G_TYPE_INT64 || type == G_TYPE_DOUBLE;
}

}  // namespace

std::string jsonString(JsonObject* object, const char* name) {
    JsonNode* node = object ? json_object_get_member(object, name) : nullptr;
    if (!node || !holdsKind(node, Kind::Text)) return {};
    return json_node_get_string(node);
}

gint64 jsonInt(JsonObject* object, const char* name, gint64 otherwise) {
    JsonNode* node = object ? json_object_get_member(object, name) : nullptr;
    if (!node || !holdsKind(node, Kind::Integer)) return otherwise;
    if (json_node_get_value_type(node) == G_TYPE_DOUBLE) {
        const double value = json_node_get_double(node);
        if (!(value >= -1e12 && value <= 1e12)) return otherwise;
        return static_cast<gint64>(value);
    }
    return json_node_get_int(node);
}

std::string jsonText(JsonNode* node) {
    g_autoptr(JsonGenerator) generator = json_generator_new();
    json_generator_set_root(generator, node);
    g_autofree gchar* text = json_generator_to_data(generator, nullptr);
    return text ? text : "";
}

void copyKnownMembers(JsonObject* from, JsonBuilder* to) {
    for (const Known& known : kKnown) {
        JsonNode* node = json_object_get_member(from, known.name);
        if (!node || !holdsKind(node, known.kind)) continue;
        if (known.kind == Kind::Text && std::strlen(json_node_get_string(node)) > known.limit)
            continue;
        if ((known.kind == Kind::Object || known.kind == Kind::List) &&
            jsonText(node).size() > known.limit)
            continue;
        json_builder_set_member_name(to, known.name);
        json_builder_add_value(to, json_node_copy(node));
    }
}

std::string errorReply(gint64 request, const char* name, const std::string& message) {
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "reply");
    json_builder_add_int_value(b, request);
    json_builder_set_member_name(b, "error");
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "name");
    json_builder_add_string_value(b, name);
    json_builder_set_member_name(b, "message");
    json_builder_add_string_value(b, message.c_str());
    json_builder_end_object(b);
    json_builder_end_object(b);
    g_autoptr(JsonNode) root = json_builder_get_root(b);
    return jsonText(root);
}

bool withinLimits(JsonObject* command, std::string& errorName, std::string& message) {
    const std::string op = jsonString(command, "op");
    if (op == "local" || op == "remote") {
        if (jsonString(command, "sdp").size() > MaxCallMessageBytes) {
            errorName = "OperationError";
            message = "The session description is larger than 256 kB.";
            return false;
        }
    } else if (op == "media" && jsonString(command, "data").size() > MaxEncoded) {
        errorName = "TypeError";
        message = "An encoded frame is larger than 256 kB.";
        return false;
    } else if (op == "send") {
        const size_t text = jsonString(command, "text").size();
        const size_t data = jsonString(command, "data").size();
        if (text > MaxCallMessageBytes || data > MaxEncoded) {
            errorName = "TypeError";
            message = "The message is larger than 256 kB.";
            return false;
        }
    }
    return true;
}

}  // namespace gtkui
