// The project layer's message catalog (module "orbis"). Texts are printf
// formats; the project layer and its SUM_ classes format every message they
// report from here (the store's own messages pass through as they are).
#pragma once

#include "runtime/imsg.h"

#include <string>

const imsg_catalog *orbis_orb_msg_table_adr();

#define ORB_MESSAGES(X)                                                                                             \
    X(ORB_TEXT, "%s")                                                                                               \
    X(ORB_NOT_PROJECT_VOB, "VOB \"%s\" is not a project VOB")                                                       \
    X(ORB_BAD_NAME,                                                                                                 \
      "VOB \"%s\": bad %s name \"%s\" (a name holds letters, digits, \"_\", \"-\" and \".\", does not begin with "  \
      "\"-\" or \".\" and is not a number)")                                                                        \
    X(ORB_NO_ID, "VOB \"%s\": no %s with id %lld")                                                                  \
    X(ORB_DAMAGED, "VOB \"%s\": the record of %s \"%s\" is damaged: %s")                                            \
    X(ORB_SEL_EMPTY, "Bad selector \"%s\": it names no object")                                                     \
    X(ORB_SEL_KIND,                                                                                                 \
      "Bad selector \"%s\": unknown kind \"%s\" (project, component, baseline, stream or lbtype)")                  \
    X(ORB_SEL_WRONG_KIND, "Selector \"%s\" names a %s, not a %s")                                                   \
    X(ORB_SEL_NO_VOB, "Selector \"%s\" names no VOB: add \"@VOB-TAG\"")                                             \
    X(ORB_SEL_BAD_VOB, "Selector \"%s\": bad VOB tag \"%s\"")                                                       \
    X(ORB_VOB_CHANGED,                                                                                              \
      "Component \"%s\": VOB tag \"%s\" now names another VOB (uuid %s; the component's VOB has uuid %s)")          \
    X(ORB_ROOT_PATH, "VOB \"%s\": bad component root path \"%s\": %s")                                              \
    X(ORB_ROOT_NOT_DIR, "VOB \"%s\": component root \"%s\" is not a directory")                                     \
    X(ORB_ROOT_OVERLAP, "VOB \"%s\": component root \"%s\" is %s the root \"%s\" of component \"%s\"")              \
    X(ORB_SELECTS_NONE,                                                                                             \
      "VOB \"%s\": label \"%s\" selects no version of component \"%s\" (no version of its root \"%s\" carries it)") \
    X(ORB_LBTYPE_VOB, "Label type \"%s\" is in VOB \"%s\", but component \"%s\" is in VOB \"%s\"")                  \
    X(ORB_TWO_BASELINES, "Component \"%s\": baselines \"%s\" and \"%s\" are both in the foundation")                \
    X(ORB_GONE, "VOB \"%s\": %s %lld does not exist")                                                               \
    X(ORB_BL_NO_COMP, "VOB \"%s\": component %lld of baseline \"%s\" does not exist")                               \
    X(ORB_BL_UNREADABLE, "Baseline \"%s\" of component \"%s\" cannot be checked: %s")                               \
    X(ORB_CONFLICTS, "VOB \"%s\": the foundation has conflicts:%s")                                                 \
    X(ORB_BAD_KIND, "VOB \"%s\": unknown stream kind %d")                                                           \
    X(ORB_NOT_ISTREAM, "VOB \"%s\": stream \"%s\" is not an integration stream of project \"%s\"")                  \
    X(ORB_REMOVE_DEFAULT,                                                                                           \
      "VOB \"%s\": stream \"%s\" is the default integration stream of project \"%s\"; it is not removed")           \
    X(ORB_PATTERN, "VOB \"%s\": component root \"%s\" cannot stand in a config spec: it holds %s")                  \
    X(ORB_NO_VOB, "\"%s\" is neither a VOB tag nor a path inside a VOB: %s")                                        \
    X(ORB_MIXED_PVOBS, "The baselines of a foundation belong to one project VOB, not to \"%s\" and \"%s\"")         \
    X(ORB_NOT_MODIFIABLE,                                                                                           \
      "Component \"%s\" of baseline \"%s\" is not a modifiable component of project \"%s\"")                        \
    X(ORB_INVALID_CONFIG,                                                                                           \
      "Stream \"%s\" of project \"%s\": the configuration is not valid; nothing was made")                          \
    X(ORB_CHANGE, "Component \"%s\": baseline \"%s\"")                                                              \
    X(ORB_CHANGE_WAS, "Component \"%s\": baseline \"%s\" (was \"%s\")")                                             \
    X(ORB_CHANGE_NONE, "Component \"%s\": no baseline")                                                             \
    X(ORB_CHANGE_NONE_WAS, "Component \"%s\": no baseline (was \"%s\")")

IMSG_DECLARE_LISTED(orb_msg, ORB_MESSAGES)
// Formats a message of this catalog; ORB_MSG also has the compiler check the
// inserts against the text (see IMSG_PRINT).
std::string orb_msg(int num, ...);
#define ORB_MSG(name, ...) \
    (IMSG_CHECK(name __VA_OPT__(, ) __VA_ARGS__), orb_msg(name __VA_OPT__(, ) __VA_ARGS__))
