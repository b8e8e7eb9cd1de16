// The recording layer: every call the tool makes into the library goes through Call (or
// CallAddMesh and CallSetErrorHandler), which invokes the export from the loaded module and,
// while a recording is open, writes the call as one trace line with its result as a comment.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "exports.h"

namespace vor::scene {

void UseModule(const Module *module);

// Starts writing a trace to path (through path.tmp, renamed on EndRecording).
bool BeginRecording(const std::string &path, std::string *error);
bool EndRecording(std::string *error);
void AbortRecording();
bool Recording();
void RecordComment(const std::string &text);

int32_t CallWords(ExportId id, const char *wordKinds, const uint32_t *words, int count);
// AddMeshVOR with a host vertex block; recorded with the block's contents inline.
void CallAddMesh(uint32_t obj, const void *block);
// SetErrorHandlerVOR; a handler has no text form, so the trace only notes it as a comment.
void CallSetErrorHandler(ErrorHandlerFn handler, void *user);

inline uint32_t CallWord(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}
inline uint32_t CallWord(int32_t v) {
    return static_cast<uint32_t>(v);
}
inline uint32_t CallWord(uint32_t v) {
    return v;
}

template <class T> constexpr char CallKind() {
    return std::is_floating_point<T>::value ? 'f' : 'n';
}

// Call(kSetObjPosVOR, x, y, z): floats go where the export takes floats, integers elsewhere.
template <class... A> int32_t Call(ExportId id, A... args) {
    static_assert(((std::is_same<A, float>::value || std::is_same<A, int32_t>::value ||
                    std::is_same<A, uint32_t>::value) &&
                   ...),
                  "export arguments are float, int32_t or uint32_t");
    const uint32_t words[sizeof...(A) + 1] = {CallWord(args)..., 0};
    const char kinds[sizeof...(A) + 1] = {CallKind<A>()..., 0};
    return CallWords(id, kinds, words, static_cast<int>(sizeof...(A)));
}

template <class... A> float CallFloat(ExportId id, A... args) {
    int32_t bits = Call(id, args...);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace vor::scene
