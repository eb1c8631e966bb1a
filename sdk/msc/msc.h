/* libmsc: the offline speech engine of Tesvano.
 *
 * Six functions with C linkage, bound by name by the program. Text goes in
 * once per session; 16-bit little-endian mono PCM at the session's
 * sample_rate comes out in pieces. Zero is success; every failure has its
 * own code below. Call from one thread at a time.
 *
 *   MSPLogin(NULL, NULL, "appid = 7c1e0a93, work_dir = .")
 *   id = QTTSSessionBegin("voice_name = xiaoyan, sample_rate = 16000, ...", &err)
 *   QTTSTextPut(id, text, strlen(text), NULL)
 *   do piece = QTTSAudioGet(id, &len, &status, &err) until status == MSP_TTS_FLAG_DATA_END
 *   QTTSSessionEnd(id, "Normal")
 *   MSPLogout()
 *
 * Session parameters are "key = value" pairs separated by commas:
 *   voice_name     one of the 17 voices (blanks around it do not matter)
 *   sample_rate    8000 or 16000 (default 16000)
 *   text_encoding  gb2312, gbk or gb18030: the text is read as GB18030;
 *                  utf8 (or utf-8): the text is read as UTF-8; none: text
 *                  that is valid UTF-8 is read as UTF-8, other text as GB18030
 *   speed, volume, pitch   0..100, 50 = the voice's normal
 * Other keys are accepted and ignored.
 *
 * Voices named in a voice map (voices.conf: $TESVANO_VOICES, else
 * $XDG_CONFIG_HOME/tesvano/voices.conf, else /etc/tesvano/voices.conf) are
 * spoken by a speech server with an OpenAI-style API; the map is read at
 * each login. Their audio is handed out as the server's answer arrives.
 */
#ifndef TESVANO_MSC_H
#define TESVANO_MSC_H

#ifdef __cplusplus
extern "C" {
#endif

#define MSC_API __attribute__((visibility("default")))

/* synthStatus of QTTSAudioGet */
#define MSP_TTS_FLAG_STILL_HAVE_DATA 1
#define MSP_TTS_FLAG_DATA_END 2

/* Result and error codes. */
#define MSP_SUCCESS 0
#define MSP_ERROR_INVALID_PARA 20001        /* null pointer, malformed parameter string or value */
#define MSP_ERROR_NOT_LOGGED_IN 20002       /* no MSPLogin before the call */
#define MSP_ERROR_UNKNOWN_VOICE 20003       /* voice_name missing or not one of ours */
#define MSP_ERROR_UNSUPPORTED_RATE 20004    /* sample_rate other than 8000 or 16000 */
#define MSP_ERROR_TEXT_EMPTY 20005          /* no text, or length 0 */
#define MSP_ERROR_TEXT_TOO_LONG 20006       /* more than MSP_MAX_TEXT_BYTES */
#define MSP_ERROR_TEXT_ENCODING 20007       /* neither UTF-8 nor GB18030 */
#define MSP_ERROR_UNSUPPORTED_ENCODING 20008 /* text_encoding we cannot read */
#define MSP_ERROR_SESSION_NOT_FOUND 20009   /* unknown or ended session id */
#define MSP_ERROR_OUT_OF_ORDER 20010        /* e.g. audio get before text put, text put twice */
#define MSP_ERROR_ENGINE 20011              /* espeak-ng or the resampler failed */
#define MSP_ERROR_NO_MEMORY 20012
/* Voices mapped to a speech server (voices.conf); the reason goes to stderr. */
#define MSP_ERROR_SERVER_UNREACHABLE 20013  /* no connection, TLS refused, or the connection broke off */
#define MSP_ERROR_SERVER_TIMEOUT 20014      /* no complete answer within the map's timeout */
#define MSP_ERROR_SERVER_STATUS 20015       /* an HTTP status other than 200 */
#define MSP_ERROR_SERVER_NOT_AUDIO 20016    /* an answer that is not audio of the configured format */
#define MSP_ERROR_SERVER_TOO_LARGE 20017    /* an answer larger than 64 MiB, or its audio at the session's rate */
/* Built-in voices: each utterance is spoken by a child process. */
#define MSP_ERROR_ENGINE_TIMEOUT 20018      /* the utterance took longer than its deadline (30 s or more) */

/* QTTSAudioGet hands out pieces of at most this many bytes. */
#define MSP_MAX_PIECE_BYTES 4194304

#define MSP_MAX_TEXT_BYTES 1048576 /* a 100,000-character Chinese text fits three times over */

MSC_API int MSPLogin(const char* usr, const char* pwd, const char* params);
/* The id stays owned by the library until QTTSSessionEnd. */
MSC_API const char* QTTSSessionBegin(const char* params, int* errorCode);
MSC_API int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen, const char* params);
/* A piece stays readable until the next call on the session. */
MSC_API const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus, int* errorCode);
MSC_API int QTTSSessionEnd(const char* sessionID, const char* hints);
MSC_API int MSPLogout(void);

/* Whether a voice comes from a speech server: writes the server's name for it
 * (at most size bytes, terminated) and returns that name's length; 0 when the
 * voice is built in, -1 when the voice map cannot be used. Optional for a
 * replacement library: the program asks only if the symbol exists. */
MSC_API int TesvanoVoiceSource(const char* voiceName, char* buf, int size);

/* The reason lines the engine printed on standard error since the last call
 * (why a server voice failed, why the voice map is ignored), joined by "; ",
 * then forgotten; written and counted as TesvanoVoiceSource does. Optional
 * for a replacement library, as above. */
MSC_API int TesvanoLastError(char* buf, int size);

#ifdef __cplusplus
}
#endif

#endif
