{ The Pascal unit against the real library and scalesim (TCP and a pseudo-terminal), built with
  Free Pascal in Delphi mode by scripts/test-bindings.sh. SCALESIM names the simulator; the
  library is PONDERIX_LIBRARY or libdriver.so.1 by the system's search. Exit status 0 when
  every check passed. }
program PonderixTest;

{$MODE DELPHI}

uses
  SysUtils, Classes, Process, DateUtils, Ponderix;

type
  { scalesim with --control: Line is the port (TCP) or the pseudo-terminal's path. }
  TSim = class
  private
    FProcess: TProcess;
    function ReadLine: string;
  public
    Line: string;
    constructor Create(const Protocol: string; Tcp: Boolean; const Settings: array of string);
    destructor Destroy; override;
    function Open: TScale;
    procedure Run(const Command: string);
  end;

  ECheck = class(Exception);

var
  Failures: Integer = 0;

constructor TSim.Create(const Protocol: string; Tcp: Boolean; const Settings: array of string);
var
  I: Integer;
begin
  FProcess := TProcess.Create(nil);
  FProcess.Executable := GetEnvironmentVariable('SCALESIM');
  if FProcess.Executable = '' then FProcess.Executable := 'scalesim';
  if Tcp then
  begin
    FProcess.Parameters.Add('--tcp');
    FProcess.Parameters.Add('0');
  end
  else
    FProcess.Parameters.Add('--pty');
  FProcess.Parameters.Add('--protocol');
  FProcess.Parameters.Add(Protocol);
  FProcess.Parameters.Add('--control');
  FProcess.Parameters.Add('--until-stdin-closes');
  for I := 0 to High(Settings) do
  begin
    FProcess.Parameters.Add('--set');
    FProcess.Parameters.Add(Settings[I]);
  end;
  FProcess.Options := [poUsePipes];
  FProcess.Execute;
  Line := ReadLine;
end;

destructor TSim.Destroy;
begin
  FProcess.CloseInput;
  FProcess.WaitOnExit;
  FProcess.Free;
  inherited Destroy;
end;

function TSim.ReadLine: string;
var
  C: AnsiChar;
begin
  Result := '';
  while FProcess.Output.Read(C, 1) = 1 do
  begin
    if C = #10 then Exit;
    Result := Result + C;
  end;
end;

function TSim.Open: TScale;
begin
  if Copy(Line, 1, 1) = '/' then
    Result := TScale.Serial(Line)
  else
    Result := TScale.Tcp('127.0.0.1', StrToInt(Line));
end;

procedure TSim.Run(const Command: string);
var
  Text: AnsiString;
  Answer: string;
begin
  Text := Command + #10;
  FProcess.Input.Write(Text[1], Length(Text));
  Answer := ReadLine;
  if Answer <> 'ok' then raise ECheck.CreateFmt('scalesim: %s: %s', [Command, Answer]);
end;

procedure Expect(Expected, Actual: Int64; const What: string); overload;
begin
  if Expected <> Actual then raise ECheck.CreateFmt('%s: expected %d, got %d', [What, Expected, Actual]);
end;

procedure Expect(const Expected, Actual: string; const What: string); overload;
begin
  if Expected <> Actual then raise ECheck.CreateFmt('%s: expected "%s", got "%s"', [What, Expected, Actual]);
end;

type
  TTest = procedure;

procedure Check(const Name: string; Test: TTest);
begin
  try
    Test;
    WriteLn('PASS ', Name);
  except
    on E: Exception do
    begin
      Inc(Failures);
      WriteLn('FAIL ', Name, ': ', E.ClassName, ': ', E.Message);
    end;
  end;
end;

{ The exception a call raises, or a failed check when it raises none or another. }
function Raised(Scale: TScale; Expected: ExceptClass; const What: string; Call: Integer): Exception;
begin
  Result := nil;
  try
    case Call of
      0: Scale.ReadSaleWeight(2000);
      1: Scale.ReadSaleWeight(300);
      2: Scale.ReadSaleWeight(0);
      3: Scale.SpecifyTare(100);
      4: Scale.ReadWeight;
      5: Scale.SpecifyTareMg(-1);
    end;
  except
    on E: Exception do
    begin
      if not (E is Expected) then
        raise ECheck.CreateFmt('%s: expected %s, got %s: %s', [What, Expected.ClassName, E.ClassName, E.Message]);
      Result := Exception(AcquireExceptionObject);
      Exit;
    end;
  end;
  raise ECheck.CreateFmt('%s: no %s', [What, Expected.ClassName]);
end;

const
  Names: array[0..46] of string = ('Ok', 'Unset', 'ErrorCaseUnknown', 'IncorrectArguments', 'ConnectionError',
    'UnableToOpenSerialPort', 'UnknownSystemError', 'TimeOut', 'HandleNull', 'HandleInvalid', 'HandleDoesNotExist',
    'ParamTypeUnknown', 'ParamTypeUnsupported', 'ParamTypeIsNotSetToGet', 'OptionUnknown', 'OptionUnsupported',
    'OptionIsNotSetToGet', 'ParamValueUnknown', 'ParamValueUnsupported', 'ParamValueUnset', 'CommandUnknown',
    'CommandUnsupported', 'DeviceResponseIncorrectFormat', 'DeviceUnexpectedResponse', 'DeviceReturnsError',
    'DeviceIsNotStabilized', 'UnknownException', 'OpenCheckValuesNotEqual', 'JsonKeyMissing',
    'JsonAnotherFileExtension', 'JsonFileDoesNotExist', 'JsonFileParsingProblem', 'CommandLineIncorrectArgument',
    'UnableToOpenFile', 'WrongModelChosen', 'EscapeClicked', 'LogicDeviceJsonError', 'LogicDeviceNotFound',
    'NotAllParamsAreSet', 'BufferTooSmall', 'WeightUnstable', 'WeightUnderZero', 'WeightOverload',
    'WeightBelowMinimum', 'WeightSame', 'WeightZero', 'NotOpen');

procedure ResultTexts;
var
  I, Code: Integer;
  Needed: TPdxSize;
  Buffer: array[0..255] of AnsiChar;
  E: EPonderix;
begin
  for I := 0 to High(Names) do
  begin
    if I <= 38 then Code := I else Code := I - 39 + 100;
    Expect(Names[I], PdxResultName(Code), 'name of ' + IntToStr(Code));
    if (PdxDescribe(Code, PDX_LANGUAGE_ENGLISH) = '') or (PdxDescribe(Code, PDX_LANGUAGE_RUSSIAN) = '') then
      raise ECheck.CreateFmt('no text for %d', [Code]);
  end;
  if pdx_result_name(99) <> nil then raise ECheck.Create('a name for 99');
  Expect(PDX_ERROR_CASE_UNKNOWN, pdx_get_error_description(99, PDX_LANGUAGE_ENGLISH, Buffer, SizeOf(Buffer), @Needed), '99');
  E := EPonderix.CreateCode(PDX_TIME_OUT);
  Expect('TimeOut', E.Name, 'exception name');
  Expect('TimeOut (7): ', Copy(E.Message, 1, 13), 'exception message');
  E.Free;
end;

procedure BuffersAndHandles;
var
  Small: array[0..1] of AnsiChar;
  Exact: AnsiString;
  Needed: TPdxSize;
  Handle: TPdxHandle;
  Raw: TPdxWeight;
  IsOpen: Integer;
begin
  Small[0] := 'x';
  Expect(PDX_BUFFER_TOO_SMALL, pdx_get_version(Small, 2, @Needed), 'small buffer');
  Expect(Ord('x'), Ord(Small[0]), 'small buffer untouched');
  SetLength(Exact, Needed);
  Expect(PDX_OK, pdx_get_version(PAnsiChar(Exact), Needed, @Needed), 'exact buffer');
  Expect(PdxVersion, FromUtf8(PAnsiChar(Exact)), 'version');

  Expect(PDX_HANDLE_NULL, pdx_read_weight(0, @Raw), 'handle 0');
  Expect(PDX_HANDLE_DOES_NOT_EXIST, pdx_read_weight(987654321, @Raw), 'never issued');
  Expect(PDX_OK, pdx_create(@Handle), 'create');
  Expect(PDX_NOT_OPEN, pdx_read_weight(Handle, @Raw), 'before open');
  Expect(PDX_OK, pdx_is_open(Handle, @IsOpen), 'is_open');
  Expect(0, IsOpen, 'not open');
  Expect(PDX_OK, pdx_destroy(Handle), 'destroy');
  Expect(PDX_HANDLE_DOES_NOT_EXIST, pdx_read_weight(Handle, @Raw), 'destroyed, read');
  Expect(PDX_HANDLE_DOES_NOT_EXIST, pdx_destroy(Handle), 'destroyed, destroy');
end;

procedure Readings(Tcp: Boolean);
var
  Sim: TSim;
  Scale: TScale;
  W: TWeight;
begin
  Sim := TSim.Create('POS2M', Tcp, ['weight=1250', 'tare=100']);
  Scale := Sim.Open;
  try
    W := Scale.ReadWeight;
    Expect(1250000, W.WeightMg, 'POS mg');
    Expect('1250 g', W.Text + ' ' + W.UnitText, 'POS text');
    Expect(PDX_FLAG_YES, W.Stable, 'POS stable');
    Expect(100000, W.TareMg, 'POS tare');
    Sim.Run('stable=0');
    Expect(PDX_FLAG_NO, Scale.ReadWeight.Stable, 'POS unstable');
  finally
    Scale.Free;
    Sim.Free;
  end;
  Sim := TSim.Create('CAS-M', Tcp, ['weight=2.5']);
  Scale := Sim.Open;
  try
    W := Scale.ReadWeight;
    Expect(2500000, W.WeightMg, 'CAS mg');
    Expect('kg', W.UnitText, 'CAS unit');
    Expect(PDX_FLAG_NO, W.Overload, 'CAS overload');
    if W.TareKnown then raise ECheck.Create('CAS reports no tare');
    Sim.Run('overload=1');
    Expect(PDX_FLAG_YES, Scale.ReadWeight.Overload, 'CAS overload set');
  finally
    Scale.Free;
    Sim.Free;
  end;
  Sim := TSim.Create('OKA', Tcp, ['weight=1.234', 'tare=0.101']);
  Scale := Sim.Open;
  try
    W := Scale.ReadWeight;
    Expect(1234000, W.WeightMg, 'OKA mg');
    Expect(101000, W.TareMg, 'OKA tare');
    Sim.Run('stable=0');
    W := Scale.ReadWeight;
    Expect(PDX_FLAG_NO, W.Stable, 'OKA settling');
    Expect(0, W.WeightMg, 'OKA reads 0 while settling');
  finally
    Scale.Free;
    Sim.Free;
  end;
end;

procedure ReadingsTcp;
begin
  Readings(True);
end;

procedure ReadingsPty;
begin
  Readings(False);
end;

procedure Tares;
var
  Sim: TSim;
  Scale: TScale;
begin
  Sim := TSim.Create('POS2MProV1', True, ['weight=250']);
  Scale := Sim.Open;
  try
    Scale.Tare;
    Expect(250000, Scale.ReadWeight.TareMg, 'tare taken');
    Scale.SpecifyTare(300);
    Expect(300000, Scale.ReadWeight.TareMg, 'tare specified in grams');
    Scale.Zero;
    Expect(0, Scale.ReadWeight.WeightMg, 'zeroed');
    Expect(PDX_PARAM_VALUE_UNSUPPORTED, EPonderix(Raised(Scale, EPonderix, 'negative tare', 5)).Code, 'negative tare');
  finally
    Scale.Free;
    Sim.Free;
  end;
  Sim := TSim.Create('CAS-M', False, []);
  Scale := Sim.Open;
  try
    Expect(PDX_COMMAND_UNSUPPORTED, EPonderix(Raised(Scale, EPonderix, 'CAS tare', 3)).Code, 'CAS has no tare input');
  finally
    Scale.Free;
    Sim.Free;
  end;
end;

procedure Sale(const Protocol: string; Tcp: Boolean; const Weight, Other: string; UnderZero, Overload: Boolean);
var
  Sim: TSim;
  Scale: TScale;
  First: TSaleWeight;
  Refusal: ESaleRefused;
  Statistics: TStringList;
begin
  Sim := TSim.Create(Protocol, Tcp, []);
  Scale := Sim.Open;
  try
    Raised(Scale, ENothingOnScale, 'empty platform', 0).Free;
    Sim.Run('place ' + Weight + ' 200');
    First := Scale.ReadSaleWeight(2000);
    Expect(1, First.Sequence, 'first sale');
    Expect(PDX_STATUS_STABLE, First.Status, 'its status');
    if Abs(DateTimeToUnix(LocalTimeToUniversal(Now)) - First.TakenAtMs div 1000) > 60 then raise ECheck.Create('taken at');
    Refusal := ESaleRefused(Raised(Scale, ESameWeight, 'same weight', 0));
    Expect(0, Refusal.LastReading.Sequence, 'refusal sequence');
    Refusal.Free;
    Sim.Run('remove');
    Expect(PDX_STATUS_ZERO, Scale.Status, 'emptied');
    Sim.Run('place ' + Other);
    Expect(2, Scale.ReadSaleWeight(2000).Sequence, 'next sale');

    Sim.Run('place ' + Weight + ' 5000');
    Refusal := ESaleRefused(Raised(Scale, EWeightUnstable, 'swinging', 1));
    Expect(PDX_STATUS_UNSTABLE, Refusal.LastReading.Status, 'unstable status');
    Refusal.Free;
    Expect(PDX_STATUS_UNSTABLE, Scale.WaitStatus(PDX_STATUS_UNSTABLE, 300), 'WaitStatus times out');
    Sim.Run('place ' + Weight + ' 300');
    Expect(PDX_STATUS_STABLE, Scale.WaitStatus(PDX_STATUS_UNSTABLE, 3000), 'settles');

    Scale.SetSaleLimits(1000000000, 0, 0);
    Sim.Run('place ' + Other);
    Raised(Scale, EWeightBelowMinimum, 'below minimum', 0).Free;
    Scale.SetSaleLimits(0, 0, 0);
    if UnderZero then
    begin
      Sim.Run('place -' + Weight);
      Raised(Scale, EWeightUnderZero, 'under zero', 0).Free;
    end;
    if Overload then
    begin
      Sim.Run('overload=1');
      Raised(Scale, EWeightOverload, 'overload', 2).Free;
    end;
    Statistics := Scale.Statistics;
    try
      Expect('2', Statistics.Values['sale_weights'], 'statistics');
    finally
      Statistics.Free;
    end;
  finally
    Scale.Free;
    Sim.Free;
  end;
end;

procedure SalePos;
begin
  Sale('POS2M', True, '1250', '800', True, False);
end;

procedure SaleCas;
begin
  Sale('CAS-M', False, '1.250', '0.800', True, True);
end;

procedure SaleOka;
begin
  Sale('OKA', True, '1.250', '0.800', False, True);
end;

procedure Surface;
var
  Sim: TSim;
  Scale: TScale;
  Health: TStringList;
begin
  Sim := TSim.Create('CAS-M', True, ['weight=1.000']);
  Scale := Sim.Open;
  try
    Health := Scale.CheckHealth(1);
    try
      Expect('1', Health.Values['open'], 'health open');
      Expect('CAS-M', Health.Values['protocol'], 'health protocol');
    finally
      Health.Free;
    end;
    Expect(1, Scale.Capabilities.ReportsOverload, 'CAS reports overload');
    Expect(PDX_STATUS_STABLE, Scale.Status, 'status');
    Scale.Close;
    Scale.Close;
    Expect('scale is closed', Raised(Scale, EScaleClosed, 'closed', 4).Message, 'after Close');
  finally
    Scale.Free;
    Sim.Free;
  end;
end;

procedure Ports;
var
  Sim: TSim;
  Row: TStringList;
begin
  Sim := TSim.Create('OKA', True, ['weight=1']);
  Row := TStringList.Create;
  try
    Row.Delimiter := #9;
    Row.StrictDelimiter := True;
    Row.DelimitedText := Trim(PdxDiscover('tcp:127.0.0.1:' + Sim.Line, 5000));
    Expect('OKA', Row[1], 'discovered protocol');
    PdxListPorts;
  finally
    Row.Free;
    Sim.Free;
  end;
end;

procedure Profiles;
var
  Sim: TSim;
  Scale: TScale;
  Handle: TPdxHandle;
  Id, ParamType: Integer;
  Settings: array[2..7] of string;
begin
  Sim := TSim.Create('POS2M', True, ['weight=42']);
  pdx_create(@Handle);
  try
    Expect(PDX_OK, pdx_add_logic_device(Handle, @Id), 'add');
    Settings[2] := 'pascal-test-' + IntToStr(GetProcessID);
    Settings[3] := 'TCP';
    Settings[4] := '127.0.0.1:' + Sim.Line;
    Settings[5] := '9600';
    Settings[6] := 'auto';
    Settings[7] := 'POS2M';
    for ParamType := 2 to 7 do
      Expect(PDX_OK, pdx_set_logic_device_param(Handle, Id, ParamType, PAnsiChar(ToUtf8(Settings[ParamType]))), 'setting');
    Scale := TScale.Profile(Settings[2]);
    try
      Expect(42000, Scale.ReadWeight.WeightMg, 'profile reading');
    finally
      Scale.Free;
    end;
    try
      TScale.Profile('no such profile').Free;
      raise ECheck.Create('an unknown profile opened');
    except
      on E: EPonderix do Expect(PDX_LOGIC_DEVICE_NOT_FOUND, E.Code, 'unknown profile');
    end;
    pdx_delete_logic_device(Handle, Id);
  finally
    pdx_destroy(Handle);
    Sim.Free;
  end;
end;

begin
  PonderixLoad;
  PdxSetLogMode(PDX_LOG_WARNING);
  Check('result names and texts of every code', ResultTexts);
  Check('buffer sizes, bad and destroyed handles, not open', BuffersAndHandles);
  Check('a reading per family over TCP', ReadingsTcp);
  Check('a reading per family over a pseudo-terminal', ReadingsPty);
  Check('zero, tare and tare in grams', Tares);
  Check('sale weight and refusals, POS over TCP', SalePos);
  Check('sale weight and refusals, CAS over a pseudo-terminal', SaleCas);
  Check('sale weight and refusals, OKA over TCP', SaleOka);
  Check('health, capabilities, status, close', Surface);
  Check('profiles', Profiles);
  Check('ports listed and a scale discovered', Ports);
  if Failures = 0 then WriteLn('all passed') else WriteLn(Failures, ' failed');
  if Failures <> 0 then Halt(1);
end.
