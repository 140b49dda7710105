// Public interface of libQuor, the scene-description library.
//
// The scene calls follow the RenderMan Interface: tokens are zero-terminated
// texts, a variable parameter list is token/value pairs closed by a null
// pointer (QR_NULL), and a name ending in "V" takes a count and two arrays
// instead. Every scene call is written as one RIB request to the scene that
// QrBegin opened, or, for a scene opened without a file name, handed to the
// renderer. The Quor_ and Qx functions manage the library itself.
#ifndef QUOR_QUOR_H
#define QUOR_QUOR_H

#ifdef __cplusplus
extern "C" {
#endif

typedef const char* QtToken;
typedef void* QtPointer;
typedef int QtInt;
typedef float QtFloat;
typedef float QtMatrix[4][4];
typedef float QtBasis[4][4];
typedef void (*QtArchiveCallback)(QtToken type, const char* format, ...);
typedef QtFloat (*QtFilterFunc)(QtFloat x, QtFloat y, QtFloat xwidth, QtFloat ywidth);
typedef void (*QtErrorHandler)(QtInt code, QtInt severity, const char* message);

#define QR_NULL ((QtToken)0)

// ---- library set-up and options -------------------------------------------

// Records the path of the library file. The home directory is the parent of
// the folder that holds that file ("/opt/r/bin/Quor.dll" gives "/opt/r").
int Quor_initPath(const char* libraryPath);
// True when the home directory recorded by Quor_initPath exists.
bool Quor_initQuorRenderMan(void);
// The home directory; never null (empty before Quor_initPath).
const char* Quor_homeDir(void);
// Integer options, kept across processes in a small text file
// ($QUOR_OPTIONS_FILE, else $XDG_CONFIG_HOME/quor/options, else
// ~/.config/quor/options).
int Quor_getOptionInt(const char* name, int defaultValue);
int Quor_setOptionInt(const char* name, int value);  // 0 when stored
// Renderer information: for "renderer" and "versionstring" writes a text
// pointer into the first 8 bytes of result and returns 0; non-zero otherwise.
int QxRendererInfo(const char* name, void* result, int resultLength, int* type, int* count);

// Makes the texture of an image file (any format the image library reads):
// a tiled, MIP-mapped TIFF, as the file `texture`, or, when that is null or
// empty, in the texture cache, the folder $QUOR_TEXTURE_CACHE, else
// $XDG_CACHE_HOME/quor/textures, else ~/.cache/quor/textures. A texture
// made from the image as it is now is kept; it is made again when the image
// changes. Writes the texture's path, zero-terminated, into `result`
// (`length` bytes) and returns 0; otherwise returns non-zero with the
// reason, naming the image, in `result`, cut to fit.
int QxMakeTexture(const char* image, const char* texture, char* result, int length);

// ---- errors ------------------------------------------------------------------

// Severities, and the codes of some failures, that error handlers receive.
#define QIE_INFO 0
#define QIE_WARNING 1
#define QIE_ERROR 2
#define QIE_SEVERE 3
#define QIE_NOMEM 1
#define QIE_NOFILE 3
#define QIE_UNIMPLEMENT 12
#define QIE_NESTING 24
#define QIE_BADTOKEN 41
#define QIE_RANGE 42
#define QIE_CONSISTENCY 43
#define QIE_SYNTAX 47

// Installs the function that receives every warning and error of the
// library; null installs QrErrorPrint, the initial handler, which prints
// "libQuor: message" on standard error ("libQuor: warning: message" for a
// warning). QrErrorIgnore drops them.
void QrErrorHandler(QtErrorHandler handler);
void QrErrorPrint(QtInt code, QtInt severity, const char* message);
void QrErrorIgnore(QtInt code, QtInt severity, const char* message);

// ---- scenes ------------------------------------------------------------------

// Opens a scene written to the RIB file `name` ("-" for standard output).
// With a null or empty name the scene is rendered instead: it is kept in
// memory, and each frame is rendered into its Display's file when its world
// ends; a frame that had an error writes no picture.
// Returns 0 on success.
int QrBegin(const char* name);
void QrEnd(void);
void QrFrameBegin(QtInt frame);
void QrFrameEnd(void);
void QrWorldBegin(void);
void QrWorldEnd(void);
void QrFormat(QtInt xres, QtInt yres, QtFloat pixelAspect);
void QrDisplay(const char* name, QtToken type, QtToken mode, ...);
void QrProjection(QtToken name, ...);
void QrClipping(QtFloat nearPlane, QtFloat farPlane);
void QrScreenWindow(QtFloat left, QtFloat right, QtFloat bottom, QtFloat top);
void QrPixelSamples(QtFloat xsamples, QtFloat ysamples);
// The pixel filter; QrBoxFilter and QrGaussianFilter are the ones the library knows.
void QrPixelFilter(QtFilterFunc filter, QtFloat xwidth, QtFloat ywidth);
QtFloat QrBoxFilter(QtFloat x, QtFloat y, QtFloat xwidth, QtFloat ywidth);
QtFloat QrGaussianFilter(QtFloat x, QtFloat y, QtFloat xwidth, QtFloat ywidth);
void QrExposure(QtFloat gain, QtFloat gamma);
void QrQuantize(QtToken type, QtInt one, QtInt min, QtInt max, QtFloat ditherAmplitude);
void QrOption(QtToken name, ...);
void QrAttributeBegin(void);
void QrAttributeEnd(void);
void QrTransformBegin(void);
void QrTransformEnd(void);
void QrAttribute(QtToken name, ...);
void QrIdentity(void);
void QrTransform(QtMatrix m);
void QrConcatTransform(QtMatrix m);
void QrTranslate(QtFloat dx, QtFloat dy, QtFloat dz);
void QrRotate(QtFloat angle, QtFloat dx, QtFloat dy, QtFloat dz);
void QrScale(QtFloat sx, QtFloat sy, QtFloat sz);
void QrReverseOrientation(void);
void QrSides(QtInt sides);
void QrColor(const QtFloat* rgb);
void QrOpacity(const QtFloat* rgb);
void QrLightSource(QtToken name, ...);
void QrSurface(QtToken name, ...);
void QrBasis(QtBasis ubasis, QtInt ustep, QtBasis vbasis, QtInt vstep);
void QrPatchMeshV(QtToken type, QtInt nu, QtToken uwrap, QtInt nv, QtToken vwrap, QtInt n, QtToken tokens[],
                  QtPointer values[]);
void QrArchiveBegin(QtToken name, ...);
void QrArchiveEnd(void);
void QrReadArchive(QtToken name, QtArchiveCallback callback, ...);
void QrComment(const char* text);

// ---- rendering in the background ---------------------------------------------

// A job: the frames of a rendered scene, complete and ready to render but
// apart from the library's state, so that any thread can render them while
// the caller goes on (and opens other scenes).
typedef struct QtJobData* QtJob;
// Told the share of a job done (0 to 1) while it renders, one call at a time,
// from one of the threads that render it. Answering non-zero cancels the
// job: the frame being rendered stops and writes no picture, and no later
// frame is rendered.
typedef QtInt (*QtProgressFunc)(QtFloat done, QtPointer data);

// Opens a rendered scene as QrBegin(NULL) does, except that its frames are
// only made ready when their worlds end. Returns 0 on success.
int QxBeginJob(void);
// Closes the scene that QxBeginJob opened, as QrEnd closes a scene, and
// answers its frames as a job (frames that had an error are not in it);
// null when no rendered scene is open.
QtJob QxEndJob(void);
// Opens a scene as QxBeginJob does, for QxJobSurfaces alone: its patches are
// not checked for rendering (nor warned of), and QxRenderJob refuses the job
// (answers 1). Returns 0 on success.
int QxBeginPreviewJob(void);
// Renders the job's frames, each into its Display's file, on the calling
// thread, which may be any; a job renders once. Its warnings and errors go to
// the error handler, called from the threads that render. `progress` may be
// null. Returns 0 when every frame wrote its picture, 2 when `progress`
// cancelled the job, 1 otherwise.
QtInt QxRenderJob(QtJob job, QtProgressFunc progress, QtPointer data);
// The surfaces that the job's first frame would render, as the renderer
// evaluates them, for drawing a preview of them: each patch mesh is handed
// to `surface` as one grid of `columns` x `rows` vertices, u fastest, with
// about `facets` facets along its longer side (at least one a patch):
// positions in the frame's camera space (3 floats a vertex), unit normals (3
// floats) and texture coordinates s, t (2 floats). Returns the number of
// meshes; call it before the job renders.
typedef void (*QtSurfaceFunc)(QtInt columns, QtInt rows, const QtFloat* positions, const QtFloat* normals,
                              const QtFloat* st, QtPointer data);
QtInt QxJobSurfaces(QtJob job, QtInt facets, QtSurfaceFunc surface, QtPointer data);
// Frees a job, rendered or not.
void QxFreeJob(QtJob job);

// The standard Catmull-Rom basis matrix. QrBasis writes it by name when it is
// given this address.
extern QtBasis QrCatmullRomBasis;

#ifdef __cplusplus
}
#endif

#endif
