/* The one way every deliverable shows a message box or asks a question.
 *
 * Normally LxMessageBox shows the real box. In test mode it shows nothing: it records the
 * caption, the text and the box type, and answers from a script, so that no test can hang on a
 * modal box. Test mode is on when the environment names a log file (LX_PROMPT_LOG), or in-process
 * after LxPromptTestBegin. Answers come, in this order, from the in-process queue, from the rules
 * in LX_PROMPT_ANSWERS ("substring=>answer;substring=>answer", answers ok, cancel, yes, no, abort,
 * retry, ignore, tryagain, continue or a number), and otherwise the box's default button.
 *
 * A program with nobody to answer (started by COM, or serving on after its windows closed) turns
 * on unattended mode: a box then waits for no one; it is answered at once with the button that
 * agrees to nothing, and its caption and text go to the program's report (where a user finds them
 * later). Test mode still records such a box and answers it as the test says. */
#ifndef LUMIVEX_PROMPT_H
#define LUMIVEX_PROMPT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Box types and answers, with the values of the Windows message box. */
enum {
    LX_MB_OK = 0x0, LX_MB_OKCANCEL = 0x1, LX_MB_ABORTRETRYIGNORE = 0x2, LX_MB_YESNOCANCEL = 0x3,
    LX_MB_YESNO = 0x4, LX_MB_RETRYCANCEL = 0x5, LX_MB_CANCELTRYCONTINUE = 0x6,
    LX_MB_DEFBUTTON2 = 0x100, LX_MB_DEFBUTTON3 = 0x200, LX_MB_DEFBUTTON4 = 0x300
};
enum {
    LX_IDOK = 1, LX_IDCANCEL = 2, LX_IDABORT = 3, LX_IDRETRY = 4, LX_IDIGNORE = 5,
    LX_IDYES = 6, LX_IDNO = 7, LX_IDTRYAGAIN = 10, LX_IDCONTINUE = 11
};

/* Shows (or in test mode records and answers) a box; owner is an HWND or null. Returns the answer. */
int LxMessageBox(void* owner, const char* text, const char* caption, unsigned type);
/* The same for UTF-16 programs; text and caption are zero-terminated UTF-16. */
int LxMessageBoxW(void* owner, const unsigned short* text, const unsigned short* caption, unsigned type);

/* Unattended mode: every box goes to `report` (caption, text: UTF-8) and is answered with
 * LxPromptRefusal of its type, or as a test says in test mode. A null report turns it off. */
typedef void (*LxPromptReport)(const char* caption, const char* text);
void LxPromptSetUnattended(LxPromptReport report);
LxPromptReport LxPromptUnattended(void);
/* The button of a box type that agrees to nothing: Cancel, No, Abort, or OK for a plain box. */
int LxPromptRefusal(unsigned type);

/* The test side, also used by the portable core. */
int LxPromptTestActive(void);
void LxPromptTestBegin(void);      /* test mode on, records and queued answers cleared */
void LxPromptTestEnd(void);        /* back to the environment's choice */
void LxPromptQueueAnswer(int answer);
int LxPromptSetRules(const char* rules); /* replaces the rules; 0 on success, -1 on a bad rule */
int LxPromptRecordCount(void);
const char* LxPromptRecordText(int index);
const char* LxPromptRecordCaption(int index);
unsigned LxPromptRecordType(int index);
/* The owner window a recorded box was given (null for none). */
void* LxPromptRecordOwner(int index);
/* Notes the owner of the box about to be recorded by LxPromptAnswer on this thread. */
void LxPromptNoteOwner(void* owner);
int LxPromptRecordAnswer(int index);

/* The answer a test-mode box gets; records it. UTF-8 text and caption. */
int LxPromptAnswer(const char* text, const char* caption, unsigned type);
/* The default button of a box type (the answer when no script says otherwise). */
int LxPromptDefaultAnswer(unsigned type);
/* Parses one answer word ("yes", "no", "6", ...); 0 when it is not one. */
int LxPromptParseAnswer(const char* word);

#ifdef __cplusplus
}
#endif

#endif
