// Clang's thread-safety annotations for the process-wide state and its lock. Clang
// checks them where the component is built with it (-Wthread-safety, the fuzz preset);
// other compilers read nothing.
#ifndef LUMORA_COMMON_THREAD_ANNOTATIONS_H_
#define LUMORA_COMMON_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define LUMORA_THREAD_ANNOTATION(attribute) __attribute__((attribute))
#else
#define LUMORA_THREAD_ANNOTATION(attribute)
#endif

#define LUMORA_CAPABILITY(name) LUMORA_THREAD_ANNOTATION(capability(name))
#define LUMORA_SCOPED_CAPABILITY LUMORA_THREAD_ANNOTATION(scoped_lockable)
#define LUMORA_ACQUIRE(...) LUMORA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define LUMORA_RELEASE(...) LUMORA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define LUMORA_REQUIRES(...) LUMORA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define LUMORA_GUARDED_BY(capability) LUMORA_THREAD_ANNOTATION(guarded_by(capability))

#endif  // LUMORA_COMMON_THREAD_ANNOTATIONS_H_
