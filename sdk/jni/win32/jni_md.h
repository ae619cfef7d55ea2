/* The Windows machine-dependent part of JNI for the cross builds: the installed JDK ships only its
   Linux copy. Included by the JDK's jni.h; the types and conventions are those of a Windows Java
   runtime (stdcall on 32-bit Windows, where the runtime calls natives and hooks with it). */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
