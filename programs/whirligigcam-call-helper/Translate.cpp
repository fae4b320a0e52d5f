#include "Translate.h"

#include <vector>

namespace callhelper {

std::string memberString(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    if (!node || !JSON_NODE_HOLDS_VALUE(node) || json_node_get_value_type(node) != G_TYPE_STRING)
        return {};
    return json_node_get_string(node);
}

gint64 memberInt(JsonObject* object, const char* name, gint64 otherwise) {
    JsonNode* node = json_object_get_member(object, name);
    if (!node || !JSON_NODE_HOLDS_VALUE(node)) return otherwise;
    const GType type = json_node_get_value_type(node);
    if (type == G_TYPE_INT64) return json_node_get_int(node);
    if (type == G_TYPE_DOUBLE) return static_cast<gint64>(json_node_get_double(node));
    if (type == G_TYPE_BOOLEAN) return json_node_get_boolean(node);
    return otherwise;
}

std::string enumNick(GObject* object, const char* property) {
    GParamSpec* found = g_object_class_find_property(G_OBJECT_GET_CLASS(object), property);
    if (!found || !G_IS_PARAM_SPEC_ENUM(found)) return {};
    gint value = 0;
    g_object_get(object, property, &value, nullptr);
    GEnumValue* named = g_enum_get_value(G_PARAM_SPEC_ENUM(found)->enum_class, value);
    return named ? named->value_nick : "";
}

namespace {

// "stun:host:port" -> "stun://host:port"; TURN with its credentials in the address.
std::string serverAddress(const std::string& url, const std::string& user,
                          const std::string& credential) {
    const size_t colon = url.find(':');
    if (colon == std::string::npos) return {};
    const std::string scheme = url.substr(0, colon);
    std::string rest = url.substr(colon + 1);
    if (rest.rfind("//", 0) == 0) rest = rest.substr(2);
    if (scheme == "stun" || scheme == "stuns") return scheme + "://" + rest;
    if (scheme != "turn" && scheme != "turns") return {};
    g_autofree gchar* u = g_uri_escape_string(user.c_str(), nullptr, FALSE);
    g_autofree gchar* c = g_uri_escape_string(credential.c_str(), nullptr, FALSE);
    return scheme + "://" + u + ":" + c + "@" + rest;
}

std::string camelCase(const char* name) {
    std::string out;
    bool upper = false;
    for (const char* c = name; *c; ++c) {
        if (*c == '-' || *c == '_') {
            upper = true;
            continue;
        }
        out += upper ? static_cast<char>(g_ascii_toupper(*c)) : *c;
        upper = false;
    }
    return out;
}

void addValue(JsonBuilder* b, const GValue* value) {
    const GType type = G_VALUE_TYPE(value);
    if (type == G_TYPE_STRING) {
        json_builder_add_string_value(b,
                                      g_value_get_string(value) ? g_value_get_string(value) : "");
    } else if (type == G_TYPE_BOOLEAN) {
        json_builder_add_boolean_value(b, g_value_get_boolean(value));
    } else if (type == G_TYPE_INT || type == G_TYPE_UINT || type == G_TYPE_INT64 ||
               type == G_TYPE_UINT64 || type == G_TYPE_LONG || type == G_TYPE_ULONG) {
        GValue as = G_VALUE_INIT;
        g_value_init(&as, G_TYPE_INT64);
        g_value_transform(value, &as);
        json_builder_add_int_value(b, g_value_get_int64(&as));
    } else if (type == G_TYPE_DOUBLE || type == G_TYPE_FLOAT) {
        GValue as = G_VALUE_INIT;
        g_value_init(&as, G_TYPE_DOUBLE);
        g_value_transform(value, &as);
        json_builder_add_double_value(b, g_value_get_double(&as));
    } else if (G_TYPE_IS_ENUM(type)) {
        GEnumClass* klass = G_ENUM_CLASS(g_type_class_ref(type));
        GEnumValue* named = g_enum_get_value(klass, g_value_get_enum(value));
        json_builder_add_string_value(b, named ? named->value_nick : "");
        g_type_class_unref(klass);
    } else {
        json_builder_add_null_value(b);
    }
}

const GstStructure* report(const GstStructure* stats, const char* id) {
    if (!stats || !id || !gst_structure_has_field_typed(stats, id, GST_TYPE_STRUCTURE))
        return nullptr;
    return gst_value_get_structure(gst_structure_get_value(stats, id));
}

std::string shortKind(const char* kind) {
    const std::string k = kind ? kind : "";
    if (k == "server-reflexive" || k == "srflx") return "srflx";
    if (k == "peer-reflexive" || k == "prflx") return "prflx";
    if (k == "relayed" || k == "relay") return "relay";
    return k;
}

std::string kindOfCandidate(const GstStructure* candidate) {
    if (!candidate) return {};
    const GValue* type = gst_structure_get_value(candidate, "candidate-type");
    if (!type) return {};
    if (G_VALUE_HOLDS_STRING(type)) return shortKind(g_value_get_string(type));
    if (G_TYPE_IS_ENUM(G_VALUE_TYPE(type))) {
        GEnumClass* klass = G_ENUM_CLASS(g_type_class_ref(G_VALUE_TYPE(type)));
        GEnumValue* named = g_enum_get_value(klass, g_value_get_enum(type));
        std::string kind = shortKind(named ? named->value_nick : "");
        g_type_class_unref(klass);
        return kind;
    }
    return {};
}

}  // namespace

void applyConfiguration(GstElement* webrtc, JsonObject* message) {
    JsonNode* node = json_object_get_member(message, "config");
    if (!node || !JSON_NODE_HOLDS_OBJECT(node)) return;
    JsonObject* config = json_node_get_object(node);
    if (memberString(config, "iceTransportPolicy") == "relay")
        g_object_set(webrtc, "ice-transport-policy", GST_WEBRTC_ICE_TRANSPORT_POLICY_RELAY,
                     nullptr);
    JsonNode* servers = json_object_get_member(config, "iceServers");
    if (!servers || !JSON_NODE_HOLDS_ARRAY(servers)) return;
    bool haveStun = false;
    JsonArray* list = json_node_get_array(servers);
    for (guint i = 0; i < json_array_get_length(list) && i < 8; ++i) {
        JsonNode* entry = json_array_get_element(list, i);
        if (!JSON_NODE_HOLDS_OBJECT(entry)) continue;
        JsonObject* server = json_node_get_object(entry);
        JsonNode* urls = json_object_get_member(server, "urls");
        if (!urls || !JSON_NODE_HOLDS_ARRAY(urls)) continue;
        JsonArray* each = json_node_get_array(urls);
        for (guint u = 0; u < json_array_get_length(each) && u < 8; ++u) {
            const gchar* url = json_array_get_string_element(each, u);
            const std::string address =
                serverAddress(url ? url : "", memberString(server, "username"),
                              memberString(server, "credential"));
            if (address.rfind("stun", 0) == 0 && !haveStun) {
                g_object_set(webrtc, "stun-server", address.c_str(), nullptr);
                haveStun = true;
            } else if (address.rfind("turn", 0) == 0) {
                gboolean added = FALSE;
                g_signal_emit_by_name(webrtc, "add-turn-server", address.c_str(), &added);
            }
        }
    }
}

GstStructure* channelOptions(JsonObject* message) {
    GstStructure* options = gst_structure_new_empty("options");
    gst_structure_set(
        options, "ordered", G_TYPE_BOOLEAN, static_cast<gboolean>(memberInt(message, "ordered", 1)),
        "negotiated", G_TYPE_BOOLEAN, static_cast<gboolean>(memberInt(message, "negotiated", 0)),
        "protocol", G_TYPE_STRING, memberString(message, "protocol").c_str(), nullptr);
    const char* const names[][2] = {{"maxRetransmits", "max-retransmits"},
                                    {"maxPacketLifeTime", "max-packet-lifetime"},
                                    {"id", "id"}};
    for (const auto& name : names) {
        const gint64 value = memberInt(message, name[0], -1);
        if (value >= 0 && value <= 65535)
            gst_structure_set(options, name[1], G_TYPE_INT, static_cast<int>(value), nullptr);
    }
    return options;
}

void addChannelFields(JsonBuilder* b, GstWebRTCDataChannel* channel) {
    gchar *label = nullptr, *protocol = nullptr;
    gboolean ordered = TRUE, negotiated = FALSE;
    gint id = -1, retransmits = -1, lifetime = -1;
    g_object_get(channel, "label", &label, "protocol", &protocol, "ordered", &ordered, "negotiated",
                 &negotiated, "id", &id, "max-retransmits", &retransmits, "max-packet-lifetime",
                 &lifetime, nullptr);
    json_builder_set_member_name(b, "label");
    json_builder_add_string_value(b, label ? label : "");
    json_builder_set_member_name(b, "protocol");
    json_builder_add_string_value(b, protocol ? protocol : "");
    json_builder_set_member_name(b, "ordered");
    json_builder_add_boolean_value(b, ordered);
    json_builder_set_member_name(b, "negotiated");
    json_builder_add_boolean_value(b, negotiated);
    json_builder_set_member_name(b, "id");
    json_builder_add_int_value(b, id);
    json_builder_set_member_name(b, "maxRetransmits");
    json_builder_add_int_value(b, retransmits);
    json_builder_set_member_name(b, "maxPacketLifeTime");
    json_builder_add_int_value(b, lifetime);
    g_free(label);
    g_free(protocol);
}

void addStats(JsonBuilder* b, const GstStructure* stats,
              const std::map<guint, std::string>& kinds) {
    json_builder_set_member_name(b, "stats");
    json_builder_begin_object(b);
    const int count = stats ? gst_structure_n_fields(stats) : 0;
    for (int i = 0; i < count; ++i) {
        const char* id = gst_structure_nth_field_name(stats, i);
        const GstStructure* entry = report(stats, id);
        if (!entry) continue;
        json_builder_set_member_name(b, id);
        json_builder_begin_object(b);
        json_builder_set_member_name(b, "id");
        json_builder_add_string_value(b, id);
        guint ssrc = 0;
        // webrtcbin names one codec for all the streams of a bundle: the kind comes from here.
        const bool known = gst_structure_get_uint(entry, "ssrc", &ssrc) && kinds.count(ssrc);
        if (known) {
            json_builder_set_member_name(b, "kind");
            json_builder_add_string_value(b, kinds.at(ssrc).c_str());
        }
        for (int f = 0; f < gst_structure_n_fields(entry); ++f) {
            const char* field = gst_structure_nth_field_name(entry, f);
            if (known && std::string(field) == "kind") continue;
            const GValue* value = gst_structure_get_value(entry, field);
            if (G_VALUE_TYPE(value) == GST_TYPE_STRUCTURE) continue;
            json_builder_set_member_name(b, camelCase(field).c_str());
            addValue(b, value);
        }
        json_builder_end_object(b);
    }
    json_builder_end_object(b);
}

std::string remoteKind(const GstStructure* stats) {
    const int count = stats ? gst_structure_n_fields(stats) : 0;
    std::string any;
    for (int i = 0; i < count; ++i) {
        const GstStructure* entry = report(stats, gst_structure_nth_field_name(stats, i));
        if (!entry) continue;
        const char* remote = gst_structure_get_string(entry, "remote-candidate-id");
        if (remote) {
            const std::string kind = kindOfCandidate(report(stats, remote));
            if (!kind.empty()) return kind;
        }
        if (any.empty() && g_str_has_prefix(gst_structure_get_name(entry), "remote-candidate"))
            any = kindOfCandidate(entry);
    }
    return any;
}

}  // namespace callhelper
