{ Ponderix scale driver for Delphi (7 and later, 32- and 64-bit) and Free Pascal (Delphi mode):
  the C interface of the driver library (ponderix.h).

  Two layers:
  - the raw one: every pdx_ function of ponderix.h under its own name (cdecl; texts are
    NUL-terminated UTF-8; the records have the C layout, checked when the library is loaded);
  - TScale: one scale on one device handle, whose failures raise EPonderix with the result's
    code and name (ESaleRefused subclasses for the sale refusals).

  The library (driver.dll on Windows, libdriver.so.1 elsewhere) is loaded at the first use, from
  the file named by the environment variable PONDERIX_LIBRARY when set, otherwise through the
  system's search; EPonderixLoad names the file when that fails. PonderixLoad may be called
  earlier to load it from a given path.

  Threads: one TScale may be used by several threads; the library serialises the calls on it. }
unit Ponderix;

{$IFDEF FPC}
  {$MODE DELPHI}
  {$PACKRECORDS C}
{$ELSE}
  {$ALIGN 8}
  {$MINENUMSIZE 4}
{$ENDIF}

interface

uses
  {$IFDEF FPC} dynlibs, {$ELSE} Windows, {$ENDIF}
  SysUtils, Classes;

const
  {$IFDEF MSWINDOWS}
  PonderixLibraryFile = 'driver.dll';
  {$ELSE}
  PonderixLibraryFile = 'libdriver.so.1';
  {$ENDIF}

  { Result codes: every code of the C interface. }
  PDX_OK = 0;
  PDX_UNSET = 1;
  PDX_ERROR_CASE_UNKNOWN = 2;
  PDX_INCORRECT_ARGUMENTS = 3;
  PDX_CONNECTION_ERROR = 4;
  PDX_UNABLE_TO_OPEN_SERIAL_PORT = 5;
  PDX_UNKNOWN_SYSTEM_ERROR = 6;
  PDX_TIME_OUT = 7;
  PDX_HANDLE_NULL = 8;
  PDX_HANDLE_INVALID = 9;
  PDX_HANDLE_DOES_NOT_EXIST = 10;
  PDX_PARAM_TYPE_UNKNOWN = 11;
  PDX_PARAM_TYPE_UNSUPPORTED = 12;
  PDX_PARAM_TYPE_IS_NOT_SET_TO_GET = 13;
  PDX_OPTION_UNKNOWN = 14;
  PDX_OPTION_UNSUPPORTED = 15;
  PDX_OPTION_IS_NOT_SET_TO_GET = 16;
  PDX_PARAM_VALUE_UNKNOWN = 17;
  PDX_PARAM_VALUE_UNSUPPORTED = 18;
  PDX_PARAM_VALUE_UNSET = 19;
  PDX_COMMAND_UNKNOWN = 20;
  PDX_COMMAND_UNSUPPORTED = 21;
  PDX_DEVICE_RESPONSE_INCORRECT_FORMAT = 22;
  PDX_DEVICE_UNEXPECTED_RESPONSE = 23;
  PDX_DEVICE_RETURNS_ERROR = 24;
  PDX_DEVICE_IS_NOT_STABILIZED = 25;
  PDX_UNKNOWN_EXCEPTION = 26;
  PDX_OPEN_CHECK_VALUES_NOT_EQUAL = 27;
  PDX_JSON_KEY_MISSING = 28;
  PDX_JSON_ANOTHER_FILE_EXTENSION = 29;
  PDX_JSON_FILE_DOES_NOT_EXIST = 30;
  PDX_JSON_FILE_PARSING_PROBLEM = 31;
  PDX_COMMAND_LINE_INCORRECT_ARGUMENT = 32;
  PDX_UNABLE_TO_OPEN_FILE = 33;
  PDX_WRONG_MODEL_CHOSEN = 34;
  PDX_ESCAPE_CLICKED = 35;
  PDX_LOGIC_DEVICE_JSON_ERROR = 36;
  PDX_LOGIC_DEVICE_NOT_FOUND = 37;
  PDX_NOT_ALL_PARAMS_ARE_SET = 38;
  PDX_BUFFER_TOO_SMALL = 100;
  PDX_WEIGHT_UNSTABLE = 101;
  PDX_WEIGHT_UNDER_ZERO = 102;
  PDX_WEIGHT_OVERLOAD = 103;
  PDX_WEIGHT_BELOW_MINIMUM = 104;
  PDX_WEIGHT_SAME = 105;
  PDX_WEIGHT_ZERO = 106;
  PDX_NOT_OPEN = 107;

  { Status of a reading. }
  PDX_STATUS_STABLE = 11;
  PDX_STATUS_UNSTABLE = 12;
  PDX_STATUS_ZERO = 13;
  PDX_STATUS_OVERLOAD = 14;
  PDX_STATUS_NOT_READY = 15;
  PDX_STATUS_UNDER_ZERO = 16;
  PDX_STATUS_UNDERWEIGHT = 17;

  { Parameter slots, commands, options, logic-device settings. }
  PDX_PARAM_SCALES_MODEL = 1;
  PDX_PARAM_FIRMWARE_VERSION1 = 2;
  PDX_PARAM_FIRMWARE_VERSION2 = 3;
  PDX_PARAM_PROTOCOL_VERSION = 4;
  PDX_PARAM_SERIAL_NUMBER = 5;
  PDX_PARAM_MAX_WEIGHT = 6;
  PDX_PARAM_DISCRET = 7;
  PDX_PARAM_UNIT_OF_MEASURE = 20;
  PDX_PARAM_WEIGHT_STATE = 22;
  PDX_PARAM_WEIGHT = 23;
  PDX_PARAM_TARE = 24;
  PDX_CMD_GET_SCALES_MODEL = 2;
  PDX_CMD_GET_FIRMWARE_VERSION1 = 4;
  PDX_CMD_GET_SERIAL_NUMBER = 9;
  PDX_CMD_GET_MAX_WEIGHT = 11;
  PDX_CMD_GET_PROTOCOL_AUTO = 49;
  PDX_CMD_STATUS_OF_WEIGHT_CHANNEL = 51;
  PDX_CMD_SET_ZERO = 52;
  PDX_CMD_SET_TARE = 53;
  PDX_CMD_SPECIFY_TARE = 54; { grams on POS, kilograms on OKA: see pdx_specify_tare_mg }
  PDX_OPTION_BAUD_RATE = 1;
  PDX_OPTION_CHARACTER_SIZE = 2;
  PDX_OPTION_STOP_BITS = 3;
  PDX_OPTION_PARITY = 4;
  PDX_OPTION_FLOW_CONTROL = 5;
  PDX_LD_IS_CURRENT = 0;
  PDX_LD_ID = 1;
  PDX_LD_NAME = 2;
  PDX_LD_CONNECTION_TYPE = 3;
  PDX_LD_END_POINT = 4;
  PDX_LD_BAUD_RATE = 5;
  PDX_LD_MODEL = 6;
  PDX_LD_PROTOCOL = 7;
  { Connection types, and the protocol or model the library finds out itself. }
  PDX_SERIAL_PORT = 'Serial Port';
  PDX_TCP = 'TCP';
  PDX_AUTO = 'auto';

  { Log modes: the lowest level written. TRACE, the library's start, costs about 2.7 KB of log per
    weight read; a till in service wants WARNING. }
  PDX_LOG_TRACE = 0;
  PDX_LOG_INFO = 1;
  PDX_LOG_WARNING = 2;
  PDX_LOG_ERROR = 3;
  PDX_LANGUAGE_RUSSIAN = 1;
  PDX_LANGUAGE_ENGLISH = 2;
  PDX_FLAG_NO = 0;
  PDX_FLAG_YES = 1;
  PDX_FLAG_UNKNOWN = -1;

type
  {$IFDEF FPC}
  TPdxSize = PtrUInt;
  {$ELSE}
    {$IF CompilerVersion >= 20}
  TPdxSize = NativeUInt;
    {$ELSE}
  TPdxSize = Cardinal; { Delphi 7 and 2007: 32-bit only }
    {$IFEND}
  {$ENDIF}
  PPdxSize = ^TPdxSize;
  {$IFDEF FPC}
  TPdxUInt64 = QWord;
  {$ELSE}
    {$IF CompilerVersion >= 18}
  TPdxUInt64 = UInt64;
    {$ELSE}
  TPdxUInt64 = Int64;   { Delphi 7: no unsigned 64-bit type; a sequence never reaches 2^63 }
    {$IFEND}
  {$ENDIF}
  TPdxHandle = Int64;
  PPdxHandle = ^TPdxHandle;

  { struct pdx_weight (72 bytes) }
  TPdxWeight = record
    Text: array[0..31] of AnsiChar; { as the scale sent it, NUL-terminated UTF-8 }
    WeightMg: Int64;
    UnitText: array[0..7] of AnsiChar;
    Stable: Integer;                { PDX_FLAG_* }
    Overload: Integer;
    Net: Integer;
    TareKnown: Integer;
    TareMg: Int64;
  end;
  PPdxWeight = ^TPdxWeight;

  { struct pdx_sale_weight (120 bytes) }
  TPdxSaleWeight = record
    Reading: TPdxWeight;
    Sequence: TPdxUInt64;
    TakenAtMs: Int64;    { Unix epoch [ms], UTC }
    MinimumMg: Int64;
    MaximumMg: Int64;
    DivisionMg: Int64;
    Status: Integer;     { PDX_STATUS_* }
  end;
  PPdxSaleWeight = ^TPdxSaleWeight;

  { struct pdx_capabilities (36 bytes), each 0 or 1 }
  TPdxCapabilities = record
    CanZero, CanTare, CanSpecifyTare, ReportsStable, ReportsOverload, ReportsNet, ReportsTare,
      MaximumKnown, DivisionKnown: Integer;
  end;
  PPdxCapabilities = ^TPdxCapabilities;

var
  { The raw layer: nil until PonderixLoad. }
  pdx_create: function(Handle: PPdxHandle): Integer; cdecl;
  pdx_destroy: function(Handle: TPdxHandle): Integer; cdecl;
  pdx_open: function(Handle: TPdxHandle; LogicDeviceId: Integer): Integer; cdecl;
  pdx_open_line: function(Handle: TPdxHandle; ConnectionType, EndPoint, Protocol: PAnsiChar; BaudRate: Integer;
    Model: PAnsiChar): Integer; cdecl;
  pdx_close: function(Handle: TPdxHandle): Integer; cdecl;
  pdx_is_open: function(Handle: TPdxHandle; IsOpen: PInteger): Integer; cdecl;
  pdx_set_param: function(Handle: TPdxHandle; Param: Integer; Value: PAnsiChar): Integer; cdecl;
  pdx_get_param: function(Handle: TPdxHandle; Param: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  pdx_get_input_param: function(Handle: TPdxHandle; Param: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  pdx_set_option: function(Handle: TPdxHandle; Option: Integer; Value: PAnsiChar): Integer; cdecl;
  pdx_get_option: function(Handle: TPdxHandle; Option: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  pdx_execute_command: function(Handle: TPdxHandle; Command: Integer): Integer; cdecl;
  pdx_get_protocol: function(Handle: TPdxHandle; Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_read_weight: function(Handle: TPdxHandle; Weight: PPdxWeight): Integer; cdecl;
  pdx_read_sale_weight: function(Handle: TPdxHandle; TimeoutMs: Integer; Sale: PPdxSaleWeight): Integer; cdecl;
  pdx_set_sale_limits: function(Handle: TPdxHandle; MinimumMg, MaximumMg, DivisionMg: Int64): Integer; cdecl;
  pdx_get_status: function(Handle: TPdxHandle; Status: PInteger; Reading: PPdxWeight): Integer; cdecl;
  pdx_wait_status: function(Handle: TPdxHandle; LastStatus, TimeoutMs: Integer; Status: PInteger;
    Reading: PPdxWeight): Integer; cdecl;
  pdx_specify_tare_mg: function(Handle: TPdxHandle; TareMg: Int64): Integer; cdecl;
  pdx_check_health: function(Handle: TPdxHandle; Level: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  pdx_get_statistics: function(Handle: TPdxHandle; Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_get_capabilities: function(Handle: TPdxHandle; Capabilities: PPdxCapabilities): Integer; cdecl;
  pdx_protocol_names: function(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_list_ports: function(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_discover: function(Ports: PAnsiChar; TimeoutMs: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  { A static text of the library: never free it. nil for a number outside the list. }
  pdx_result_name: function(Code: Integer): PAnsiChar; cdecl;
  pdx_get_error_description: function(Code, Language: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  pdx_get_log_settings: function(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_change_log_settings: function(Settings: PAnsiChar): Integer; cdecl;
  pdx_logging_set_mode: function(Mode: Integer): Integer; cdecl;
  pdx_get_logging_path: function(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_get_version: function(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize): Integer; cdecl;
  pdx_add_logic_device: function(Handle: TPdxHandle; Id: PInteger): Integer; cdecl;
  pdx_delete_logic_device: function(Handle: TPdxHandle; Id: Integer): Integer; cdecl;
  pdx_set_current_logic_device: function(Handle: TPdxHandle; Id: Integer): Integer; cdecl;
  pdx_get_current_logic_device: function(Handle: TPdxHandle; Id: PInteger): Integer; cdecl;
  pdx_set_logic_device_param: function(Handle: TPdxHandle; Id, ParamType: Integer; Value: PAnsiChar): Integer; cdecl;
  pdx_get_logic_device_param: function(Handle: TPdxHandle; Id, ParamType: Integer; Buffer: PAnsiChar; Size: TPdxSize;
    Needed: PPdxSize): Integer; cdecl;
  pdx_get_logic_device_ids: function(Handle: TPdxHandle; Ids: PInteger; Capacity: TPdxSize;
    Count: PPdxSize): Integer; cdecl;

type
  { The library could not be loaded, lacks a function, or its records differ from these. }
  EPonderixLoad = class(Exception);

  { A call of the driver failed: Code is the result number, Name its name ("ConnectionError"),
    Message "Name (Code): " and the English description. }
  EPonderix = class(Exception)
  private
    FCode: Integer;
    FName: string;
  public
    constructor CreateCode(ACode: Integer);
    property Code: Integer read FCode;
    property Name: string read FName;
  end;
  EPonderixClass = class of EPonderix;

  { Status of a reading (PDX_STATUS_*). }
  TScaleStatus = Integer;

  TWeight = record
    Text: string;        { as the scale sent it: '1250' (POS, grams), '1.250' }
    WeightMg: Int64;
    UnitText: string;    { 'g', 'kg' or 'lb' }
    Stable: Integer;     { PDX_FLAG_YES, PDX_FLAG_NO, or PDX_FLAG_UNKNOWN where the protocol has no such bit }
    Overload: Integer;
    Net: Integer;
    TareKnown: Boolean;
    TareMg: Int64;
  end;

  TSaleWeight = record
    Reading: TWeight;
    Sequence: TPdxUInt64; { from 1 per handle; 0 on a refusal }
    TakenAtMs: Int64;    { Unix epoch [ms], UTC }
    MinimumMg, MaximumMg, DivisionMg: Int64; { the limits the checks used; 0 where unknown }
    Status: TScaleStatus;
  end;

  { No weight a sale may use; LastReading is the reading decided on, with its status. }
  ESaleRefused = class(EPonderix)
  public
    LastReading: TSaleWeight;
  end;
  EWeightUnstable = class(ESaleRefused);      { 101 }
  EWeightUnderZero = class(ESaleRefused);     { 102 }
  EWeightOverload = class(ESaleRefused);      { 103 }
  EWeightBelowMinimum = class(ESaleRefused);  { 104 }
  ESameWeight = class(ESaleRefused);          { 105 }
  ENothingOnScale = class(ESaleRefused);      { 106 }
  { A TScale used after Close. }
  EScaleClosed = class(Exception);

  { One scale on one device handle. CheckHealth and Statistics give 'key=value' lines (the
    caller frees the list). }
  TScale = class
  private
    FHandle: TPdxHandle;
    procedure Check(Code: Integer);
    function GetHandle: TPdxHandle;
    function GetStatus: TScaleStatus;
    function GetProtocol: string;
    function GetModel: string;
    function GetSerialNumber: string;
    function GetCapabilities: TPdxCapabilities;
    function FindProfile(const AName: string): Integer;
  public
    { A device that is not open yet (the raw layer may open it on Handle). }
    constructor CreateHandle;
    { A scale on a serial port ('COM3', '/dev/ttyUSB0') or TCP (port 77 unless given); these
      save nothing in the store of logic devices. }
    class function Serial(const Port: string; const Protocol: string = PDX_AUTO; BaudRate: Integer = 9600;
      const Model: string = PDX_AUTO): TScale;
    class function Tcp(const Host: string; Port: Integer = 77; const Protocol: string = PDX_AUTO;
      const Model: string = PDX_AUTO): TScale;
    { A saved logic device, by its name. }
    class function Profile(const AName: string): TScale;
    { Closes the line and destroys the device; later calls raise EScaleClosed. Free does it too. }
    procedure Close;
    destructor Destroy; override;

    function ReadWeight: TWeight;
    { Readings until one is settled or TimeoutMs [ms] passed (0: one exchange); a refusal raises
      an ESaleRefused subclass. }
    function ReadSaleWeight(TimeoutMs: Integer = 2000): TSaleWeight;
    { Readings until the status differs from LastStatus (at once for 0); after TimeoutMs the
      current status (then equal to LastStatus). }
    function WaitStatus(LastStatus: TScaleStatus; TimeoutMs: Integer): TScaleStatus; overload;
    function WaitStatus(LastStatus: TScaleStatus; TimeoutMs: Integer; out Reading: TWeight): TScaleStatus; overload;
    procedure Zero;
    procedure Tare;
    { A tare in grams on every protocol, in whole milligrams. }
    procedure SpecifyTare(Grams: Double);
    procedure SpecifyTareMg(TareMg: Int64);
    procedure SetSaleLimits(MinimumMg, MaximumMg, DivisionMg: Int64);
    { 'key=value' lines; level 1 no I/O, level 2 one exchange. }
    function CheckHealth(Level: Integer): TStringList;
    function Statistics: TStringList;

    property Handle: TPdxHandle read GetHandle;
    { One fresh exchange, classified (PDX_STATUS_*). }
    property Status: TScaleStatus read GetStatus;
    property Protocol: string read GetProtocol;
    property Model: string read GetModel;
    property SerialNumber: string read GetSerialNumber;
    property Capabilities: TPdxCapabilities read GetCapabilities;
  end;

{ Loads the library (PONDERIX_LIBRARY, else PonderixLibraryFile through the system's search, or
  the file given) and binds every function; EPonderixLoad names the file on failure. Called by
  TScale; loading twice does nothing. }
procedure PonderixLoad(const FileName: string = '');
function PonderixLoaded: Boolean;
{ The name of a code as the library gives it ('' outside the list), and its description. }
function PdxResultName(Code: Integer): string;
function PdxDescribe(Code: Integer; Language: Integer = PDX_LANGUAGE_ENGLISH): string;
function PdxVersion: string;
procedure PdxSetLogMode(Mode: Integer);
{ The machine's serial ports, and detection on several ports at once: one tab-separated line per
  port (columns as ponderix.h gives them). Ports: newline-separated names, globs or TCP end
  points; '' for every free port. }
function PdxListPorts: string;
function PdxDiscover(const Ports: string; TimeoutMs: Integer): string;
{ UTF-8 texts of the C interface. }
function ToUtf8(const S: string): UTF8String;
function FromUtf8(P: PAnsiChar): string;

implementation

type
  TTextCall = function(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;

var
  LibraryHandle: {$IFDEF FPC} TLibHandle {$ELSE} HMODULE {$ENDIF} = 0;
  LoadedFrom: string = '';

function ToUtf8(const S: string): UTF8String;
begin
  {$IFDEF UNICODE}
  Result := UTF8Encode(S);
  {$ELSE}
  Result := UTF8Encode(WideString(S));
  {$ENDIF}
end;

function FromUtf8(P: PAnsiChar): string;
begin
  if P = nil then
  begin
    Result := '';
    Exit;
  end;
  {$IFDEF UNICODE}
  Result := UTF8ToString(P);
  {$ELSE}
  Result := string(UTF8Decode(UTF8String(P)));
  {$ENDIF}
end;

function PonderixLoaded: Boolean;
begin
  Result := LibraryHandle <> 0;
end;

procedure PonderixLoad(const FileName: string);
var
  Path: string;

  procedure Bind(var Proc; const ProcName: AnsiString);
  begin
    Pointer(Proc) := {$IFDEF FPC} GetProcedureAddress(LibraryHandle, ProcName)
                     {$ELSE} GetProcAddress(LibraryHandle, PAnsiChar(ProcName)) {$ENDIF};
    if Pointer(Proc) = nil then
      raise EPonderixLoad.CreateFmt('%s has no function %s: not a Ponderix driver of this version', [Path, ProcName]);
  end;

  procedure CheckSize(const RecordName: string; Actual, Expected: Integer);
  begin
    if Actual <> Expected then
      raise EPonderixLoad.CreateFmt('%s takes %d bytes here, the C struct %d', [RecordName, Actual, Expected]);
  end;

begin
  if LibraryHandle <> 0 then Exit;
  { A record that does not match the C layout would corrupt memory. }
  CheckSize('TPdxWeight', SizeOf(TPdxWeight), 72);
  {$IF defined(CPUI386) and not defined(MSWINDOWS)}
  CheckSize('TPdxSaleWeight', SizeOf(TPdxSaleWeight), 116); { i386 System V: 64-bit members on 4 bytes }
  {$ELSE}
  CheckSize('TPdxSaleWeight', SizeOf(TPdxSaleWeight), 120);
  {$IFEND}
  CheckSize('TPdxCapabilities', SizeOf(TPdxCapabilities), 36);
  Path := FileName;
  if Path = '' then Path := GetEnvironmentVariable('PONDERIX_LIBRARY');
  if Path = '' then Path := PonderixLibraryFile;
  {$IFDEF FPC}
  LibraryHandle := LoadLibrary(Path);
  if LibraryHandle = NilHandle then
  begin
    LibraryHandle := 0;
    raise EPonderixLoad.CreateFmt('cannot load the Ponderix driver library %s (%s); set PONDERIX_LIBRARY to its path',
      [Path, GetLoadErrorStr]);
  end;
  {$ELSE}
  LibraryHandle := LoadLibrary(PChar(Path));
  if LibraryHandle = 0 then
    raise EPonderixLoad.CreateFmt('cannot load the Ponderix driver library %s (%s); set PONDERIX_LIBRARY to its path',
      [Path, SysErrorMessage(GetLastError)]);
  {$ENDIF}
  LoadedFrom := Path;
  try
    Bind(pdx_create, 'pdx_create');
    Bind(pdx_destroy, 'pdx_destroy');
    Bind(pdx_open, 'pdx_open');
    Bind(pdx_open_line, 'pdx_open_line');
    Bind(pdx_close, 'pdx_close');
    Bind(pdx_is_open, 'pdx_is_open');
    Bind(pdx_set_param, 'pdx_set_param');
    Bind(pdx_get_param, 'pdx_get_param');
    Bind(pdx_get_input_param, 'pdx_get_input_param');
    Bind(pdx_set_option, 'pdx_set_option');
    Bind(pdx_get_option, 'pdx_get_option');
    Bind(pdx_execute_command, 'pdx_execute_command');
    Bind(pdx_get_protocol, 'pdx_get_protocol');
    Bind(pdx_read_weight, 'pdx_read_weight');
    Bind(pdx_read_sale_weight, 'pdx_read_sale_weight');
    Bind(pdx_set_sale_limits, 'pdx_set_sale_limits');
    Bind(pdx_get_status, 'pdx_get_status');
    Bind(pdx_wait_status, 'pdx_wait_status');
    Bind(pdx_specify_tare_mg, 'pdx_specify_tare_mg');
    Bind(pdx_check_health, 'pdx_check_health');
    Bind(pdx_get_statistics, 'pdx_get_statistics');
    Bind(pdx_get_capabilities, 'pdx_get_capabilities');
    Bind(pdx_protocol_names, 'pdx_protocol_names');
    Bind(pdx_list_ports, 'pdx_list_ports');
    Bind(pdx_discover, 'pdx_discover');
    Bind(pdx_result_name, 'pdx_result_name');
    Bind(pdx_get_error_description, 'pdx_get_error_description');
    Bind(pdx_get_log_settings, 'pdx_get_log_settings');
    Bind(pdx_change_log_settings, 'pdx_change_log_settings');
    Bind(pdx_logging_set_mode, 'pdx_logging_set_mode');
    Bind(pdx_get_logging_path, 'pdx_get_logging_path');
    Bind(pdx_get_version, 'pdx_get_version');
    Bind(pdx_add_logic_device, 'pdx_add_logic_device');
    Bind(pdx_delete_logic_device, 'pdx_delete_logic_device');
    Bind(pdx_set_current_logic_device, 'pdx_set_current_logic_device');
    Bind(pdx_get_current_logic_device, 'pdx_get_current_logic_device');
    Bind(pdx_set_logic_device_param, 'pdx_set_logic_device_param');
    Bind(pdx_get_logic_device_param, 'pdx_get_logic_device_param');
    Bind(pdx_get_logic_device_ids, 'pdx_get_logic_device_ids');
  except
    FreeLibrary(LibraryHandle);
    LibraryHandle := 0;
    raise;
  end;
end;

{ A text output, with the buffer grown to what the library says it needs. }
function TryText(Call: TTextCall; Data: Pointer; out Text: string): Integer;
var
  Buffer: AnsiString;
  Needed: TPdxSize;
begin
  SetLength(Buffer, 128);
  repeat
    Needed := 0;
    Result := Call(PAnsiChar(Buffer), Length(Buffer), @Needed, Data);
    if (Result = PDX_BUFFER_TOO_SMALL) and (Needed > TPdxSize(Length(Buffer))) then
      SetLength(Buffer, Needed)
    else
      Break;
  until False;
  if Result = PDX_OK then Text := FromUtf8(PAnsiChar(Buffer)) else Text := '';
end;

function PdxResultName(Code: Integer): string;
begin
  PonderixLoad;
  Result := FromUtf8(pdx_result_name(Code));
end;

type
  TDescribeArgs = record
    Code, Language: Integer;
  end;
  PDescribeArgs = ^TDescribeArgs;

function DescribeCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_get_error_description(PDescribeArgs(Data)^.Code, PDescribeArgs(Data)^.Language, Buffer, Size, Needed);
end;

function PdxDescribe(Code: Integer; Language: Integer): string;
var
  Args: TDescribeArgs;
begin
  PonderixLoad;
  Args.Code := Code;
  Args.Language := Language;
  if TryText(DescribeCall, @Args, Result) <> PDX_OK then Result := '';
end;

function RaiseFor(Code: Integer): EPonderix;
const
  RefusalClasses: array[PDX_WEIGHT_UNSTABLE..PDX_WEIGHT_ZERO] of EPonderixClass =
    (EWeightUnstable, EWeightUnderZero, EWeightOverload, EWeightBelowMinimum, ESameWeight, ENothingOnScale);
begin
  if (Code >= PDX_WEIGHT_UNSTABLE) and (Code <= PDX_WEIGHT_ZERO) then
    Result := RefusalClasses[Code].CreateCode(Code)
  else
    Result := EPonderix.CreateCode(Code);
end;

procedure CheckCode(Code: Integer);
begin
  if Code <> PDX_OK then raise RaiseFor(Code);
end;

function ListPortsCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_list_ports(Buffer, Size, Needed);
end;

function PdxListPorts: string;
begin
  PonderixLoad;
  CheckCode(TryText(ListPortsCall, nil, Result));
end;

function PdxDiscover(const Ports: string; TimeoutMs: Integer): string;
var
  Buffer: AnsiString;
  Names: UTF8String;
  Needed: TPdxSize;
  Given: PAnsiChar;
begin
  PonderixLoad;
  { One call probes the ports: the buffer is made large enough not to lose that probe. }
  SetLength(Buffer, 256 * 1024);
  Needed := 0;
  Names := ToUtf8(Ports);
  if Ports = '' then Given := nil else Given := PAnsiChar(Names);
  CheckCode(pdx_discover(Given, TimeoutMs, PAnsiChar(Buffer), Length(Buffer), @Needed));
  Result := FromUtf8(PAnsiChar(Buffer));
end;

function VersionCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_get_version(Buffer, Size, Needed);
end;

function PdxVersion: string;
begin
  PonderixLoad;
  CheckCode(TryText(VersionCall, nil, Result));
end;

procedure PdxSetLogMode(Mode: Integer);
begin
  PonderixLoad;
  CheckCode(pdx_logging_set_mode(Mode));
end;

constructor EPonderix.CreateCode(ACode: Integer);
begin
  FCode := ACode;
  FName := PdxResultName(ACode);
  if FName = '' then FName := IntToStr(ACode);
  inherited CreateFmt('%s (%d): %s', [FName, ACode, PdxDescribe(ACode)]);
end;

function ToWeight(const Raw: TPdxWeight): TWeight;
begin
  Result.Text := FromUtf8(@Raw.Text[0]);
  Result.WeightMg := Raw.WeightMg;
  Result.UnitText := FromUtf8(@Raw.UnitText[0]);
  Result.Stable := Raw.Stable;
  Result.Overload := Raw.Overload;
  Result.Net := Raw.Net;
  Result.TareKnown := Raw.TareKnown <> 0;
  Result.TareMg := Raw.TareMg;
end;

function ToSaleWeight(const Raw: TPdxSaleWeight): TSaleWeight;
begin
  Result.Reading := ToWeight(Raw.Reading);
  Result.Sequence := Raw.Sequence;
  Result.TakenAtMs := Raw.TakenAtMs;
  Result.MinimumMg := Raw.MinimumMg;
  Result.MaximumMg := Raw.MaximumMg;
  Result.DivisionMg := Raw.DivisionMg;
  Result.Status := Raw.Status;
end;

{ TScale }

constructor TScale.CreateHandle;
begin
  inherited Create;
  PonderixLoad;
  CheckCode(pdx_create(@FHandle));
end;

procedure TScale.Close;
var
  Value: TPdxHandle;
begin
  Value := FHandle;
  FHandle := 0;
  if Value <> 0 then
  begin
    pdx_close(Value);
    pdx_destroy(Value);
  end;
end;

destructor TScale.Destroy;
begin
  Close;
  inherited Destroy;
end;

function TScale.GetHandle: TPdxHandle;
begin
  if FHandle = 0 then raise EScaleClosed.Create('scale is closed');
  Result := FHandle;
end;

procedure TScale.Check(Code: Integer);
begin
  CheckCode(Code);
end;

class function TScale.Serial(const Port, Protocol: string; BaudRate: Integer; const Model: string): TScale;
begin
  Result := TScale.CreateHandle;
  try
    Result.Check(pdx_open_line(Result.FHandle, PDX_SERIAL_PORT, PAnsiChar(ToUtf8(Port)), PAnsiChar(ToUtf8(Protocol)),
      BaudRate, PAnsiChar(ToUtf8(Model))));
  except
    Result.Free;
    raise;
  end;
end;

class function TScale.Tcp(const Host: string; Port: Integer; const Protocol, Model: string): TScale;
begin
  Result := TScale.CreateHandle;
  try
    Result.Check(pdx_open_line(Result.FHandle, PDX_TCP, PAnsiChar(ToUtf8(Host + ':' + IntToStr(Port))),
      PAnsiChar(ToUtf8(Protocol)), 9600, PAnsiChar(ToUtf8(Model))));
  except
    Result.Free;
    raise;
  end;
end;

class function TScale.Profile(const AName: string): TScale;
begin
  Result := TScale.CreateHandle;
  try
    Result.Check(pdx_open(Result.FHandle, Result.FindProfile(AName)));
  except
    Result.Free;
    raise;
  end;
end;

type
  THandleArgs = record
    Handle: TPdxHandle;
    Number: Integer;   { a parameter, level or logic device }
  end;
  PHandleArgs = ^THandleArgs;

function NameCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_get_logic_device_param(PHandleArgs(Data)^.Handle, PHandleArgs(Data)^.Number, PDX_LD_NAME, Buffer, Size, Needed);
end;

function ParamCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_get_param(PHandleArgs(Data)^.Handle, PHandleArgs(Data)^.Number, Buffer, Size, Needed);
end;

function ProtocolCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_get_protocol(PHandleArgs(Data)^.Handle, Buffer, Size, Needed);
end;

function HealthCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_check_health(PHandleArgs(Data)^.Handle, PHandleArgs(Data)^.Number, Buffer, Size, Needed);
end;

function StatisticsCall(Buffer: PAnsiChar; Size: TPdxSize; Needed: PPdxSize; Data: Pointer): Integer;
begin
  Result := pdx_get_statistics(PHandleArgs(Data)^.Handle, Buffer, Size, Needed);
end;

function HandleText(Call: TTextCall; Handle: TPdxHandle; Number: Integer): string;
var
  Args: THandleArgs;
begin
  Args.Handle := Handle;
  Args.Number := Number;
  CheckCode(TryText(Call, @Args, Result));
end;

function TScale.FindProfile(const AName: string): Integer;
var
  Count: TPdxSize;
  Code, I: Integer;
  Ids: array of Integer;
begin
  Count := 0;
  Code := pdx_get_logic_device_ids(Handle, nil, 0, @Count);
  if (Code <> PDX_OK) and (Code <> PDX_BUFFER_TOO_SMALL) then Check(Code);
  SetLength(Ids, Count + 1);
  Check(pdx_get_logic_device_ids(Handle, @Ids[0], Length(Ids), @Count));
  for I := 0 to Integer(Count) - 1 do
    if HandleText(NameCall, Handle, Ids[I]) = AName then
    begin
      Result := Ids[I];
      Exit;
    end;
  raise EPonderix.CreateCode(PDX_LOGIC_DEVICE_NOT_FOUND);
end;

function TScale.ReadWeight: TWeight;
var
  Raw: TPdxWeight;
begin
  Check(pdx_read_weight(Handle, @Raw));
  Result := ToWeight(Raw);
end;

function TScale.ReadSaleWeight(TimeoutMs: Integer): TSaleWeight;
var
  Raw: TPdxSaleWeight;
  Code: Integer;
  Error: EPonderix;
begin
  FillChar(Raw, SizeOf(Raw), 0);
  Code := pdx_read_sale_weight(Handle, TimeoutMs, @Raw);
  Result := ToSaleWeight(Raw);
  if Code <> PDX_OK then
  begin
    Error := RaiseFor(Code);
    if Error is ESaleRefused then ESaleRefused(Error).LastReading := Result;
    raise Error;
  end;
end;

function TScale.GetStatus: TScaleStatus;
var
  Raw: TPdxWeight;
begin
  Check(pdx_get_status(Handle, @Result, @Raw));
end;

function TScale.WaitStatus(LastStatus: TScaleStatus; TimeoutMs: Integer): TScaleStatus;
var
  Reading: TWeight;
begin
  Result := WaitStatus(LastStatus, TimeoutMs, Reading);
end;

function TScale.WaitStatus(LastStatus: TScaleStatus; TimeoutMs: Integer; out Reading: TWeight): TScaleStatus;
var
  Raw: TPdxWeight;
  Code: Integer;
begin
  FillChar(Raw, SizeOf(Raw), 0);
  Code := pdx_wait_status(Handle, LastStatus, TimeoutMs, @Result, @Raw);
  if Code <> PDX_TIME_OUT then Check(Code);
  Reading := ToWeight(Raw);
end;

procedure TScale.Zero;
begin
  Check(pdx_execute_command(Handle, PDX_CMD_SET_ZERO));
end;

procedure TScale.Tare;
begin
  Check(pdx_execute_command(Handle, PDX_CMD_SET_TARE));
end;

procedure TScale.SpecifyTare(Grams: Double);
begin
  SpecifyTareMg(Round(Grams * 1000));
end;

procedure TScale.SpecifyTareMg(TareMg: Int64);
begin
  Check(pdx_specify_tare_mg(Handle, TareMg));
end;

procedure TScale.SetSaleLimits(MinimumMg, MaximumMg, DivisionMg: Int64);
begin
  Check(pdx_set_sale_limits(Handle, MinimumMg, MaximumMg, DivisionMg));
end;

function Lines(const Text: string): TStringList;
begin
  Result := TStringList.Create;
  Result.Text := Text;
end;

function TScale.CheckHealth(Level: Integer): TStringList;
begin
  Result := Lines(HandleText(HealthCall, Handle, Level));
end;

function TScale.Statistics: TStringList;
begin
  Result := Lines(HandleText(StatisticsCall, Handle, 0));
end;

function TScale.GetProtocol: string;
begin
  Result := HandleText(ProtocolCall, Handle, 0);
end;

function TScale.GetModel: string;
begin
  Result := HandleText(ParamCall, Handle, PDX_PARAM_SCALES_MODEL);
end;

function TScale.GetSerialNumber: string;
begin
  Check(pdx_execute_command(Handle, PDX_CMD_GET_SERIAL_NUMBER));
  Result := HandleText(ParamCall, Handle, PDX_PARAM_SERIAL_NUMBER);
end;

function TScale.GetCapabilities: TPdxCapabilities;
begin
  Check(pdx_get_capabilities(Handle, @Result));
end;

end.
