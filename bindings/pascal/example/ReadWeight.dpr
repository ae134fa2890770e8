{ Reads a weight, then a weight a sale may use, from a scale on TCP or a serial port:
    ReadWeight 127.0.0.1 4001      ReadWeight COM3 (or /dev/ttyUSB0)
  Delphi: dcc32 ReadWeight.dpr (Ponderix.pas on the unit path); Free Pascal:
  fpc -Mdelphi -Fu.. ReadWeight.dpr }
program ReadWeight;

{$IFDEF FPC} {$MODE DELPHI} {$ENDIF}
{$IFDEF MSWINDOWS} {$APPTYPE CONSOLE} {$ENDIF}

uses
  SysUtils, Ponderix;

var
  Scale: TScale;
  Reading: TWeight;
  Sale: TSaleWeight;
begin
  if ParamCount < 1 then
  begin
    WriteLn(ErrOutput, 'usage: ReadWeight HOST PORT | ReadWeight SERIAL-PORT');
    Halt(2);
  end;
  try
    if ParamCount > 1 then
      Scale := TScale.Tcp(ParamStr(1), StrToInt(ParamStr(2)))
    else
      Scale := TScale.Serial(ParamStr(1));
    try
      Reading := Scale.ReadWeight;
      WriteLn(Format('protocol %s: %s %s (%d mg)', [Scale.Protocol, Reading.Text, Reading.UnitText, Reading.WeightMg]));
      try
        Sale := Scale.ReadSaleWeight(2000);
        WriteLn(Format('sale weight #%d: %d mg', [Sale.Sequence, Sale.Reading.WeightMg]));
      except
        on Refused: ESaleRefused do WriteLn('no sale weight: ', Refused.Name);
      end;
    finally
      Scale.Free;
    end;
  except
    on E: Exception do
    begin
      WriteLn(ErrOutput, E.Message);
      Halt(1);
    end;
  end;
end.
