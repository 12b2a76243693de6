; Bleeptone PSG Module - the Bleeptone sound engine for your own PureBasic programs
;
; Four voices of a small programmable sound generator (PSG), each playing a
; text in Music Macro Language (MML), rendered at 44,100 samples per second.
;
;   XIncludeFile "PSG.pb" : UseModule PSG
;   PSG_Init()                                   ; once, at program start
;   PSG_PlayMML(Channel_1, Channel_2, Channel_3)
;   ... event loop: Case #MML_Event, EventData() = -1 tune ended,
;       -2 all channels looped together, n >= 0 a "*n" command
;   PSG_Terminate()                              ; once, at program end
;
; PSG_PlayMML(#MML_NoChange, "...") leaves channel 0 as it is; four empty
; texts stop the tune. Only voice 0 can play noise (W5). PSG_GetInfoMML()
; gives the settings at a position of a text and the time before it in
; tenths of a second. PSG_StartWaveRecord() records what the engine plays
; into a 16-bit mono WAV file (#False when the file cannot be created).
; Sound goes out through Core Audio on macOS and waveOut on Windows; where
; there is no sound device, PSG_Init() says so and the engine runs on
; silently, so that tunes still end, post their events and can be recorded.
; Compile as a threadsafe executable.
; A sequencer tick runs every 459 samples (about 10.4 ms); a whole note
; lasts (18 - tempo code) x 32 ticks.

CompilerIf #PB_Compiler_Thread = 0
  CompilerWarning "PSG module: please enable 'Create threadsafe executable'"
CompilerEndIf

DeclareModule PSG

#MML_Event    = $4D4D4C20   ; 'MML ': the event posted by the sequencer
#MML_NoChange = ":"         ; a channel text that leaves its channel untouched

; Settings of a channel, and the result of PSG_GetInfoMML()
Structure MML_Info
  EvtCnt.l      ; sequencer: -1 idle, 0 read at next tick, >0 ticks left
  Tempo.l       ; tempo code 0..15 (12 = 120 BPM)
  Octave.l
  Transpose.l   ; semitones, -24..24
  NoteLen.l     ; default length (4 = quarter note)
  Volume.l      ; 0..63
  Waveform.l    ; 0 triangle, 1 sawtooth, 2 complex A, 3 complex B, 4 square, 5 noise
  Decay.l       ; volume steps / 8 per tick; -256 while an envelope is in force
EndStructure

Declare PSG_Init()
Declare PSG_Terminate()
Declare PSG_PlayMML(Channel0.s, Channel1.s = "", Channel2.s = "", Channel3.s = "")
Declare PSG_GetInfoMML(MMLString.s, Position, *Info.MML_Info)
Declare PSG_StartWaveRecord(FileName.s, AutoStop = #False)
Declare PSG_StopWaveRecord()
Declare PSG_Sound(Channel.a, Frequency.f, Volume.a, Waveform.a = 0)
Declare PSG_SetDefaults()

EndDeclareModule

Module PSG

EnableExplicit

;- Numbers and records

#TickSamples    = 459       ; samples between two sequencer ticks
#NoteCount      = 97        ; NoteTable: C0..C8
#DecayEnvelope  = -256      ; Decay while an envelope is in force
#ListDot        = 253       ; number list: slot of the dot flag
#ListCount      = 255       ; number list: slot of the count of numbers
#ListMaxClosed  = 252       ; numbers that commas can close
#SquareMask     = $3F000000
#NoiseMask      = $00000001
#RingBytes      = 524288    ; recording ring: 262,144 samples, two halves
#RingIndexMask  = $7FFFE
#RingHalfBit    = $40000
#RingOffsetMask = $3FFFF
#AlignLimit     = 88200     ; one second of samples, in bytes
#FadeSamples    = 459

; The command read last, with its modifiers
Structure MML_Command
  Code.a          ; command code (class byte), 0 at the end of the text
  *At.Unicode     ; the command's own character
  Number.q        ; final number (after the last comma)
  Sign.i          ; last sign seen: +1, -1 or 0
  Dot.i
  Closed.i        ; numbers closed by a comma (only counted with a list)
EndStructure

Structure NumberList
  q.q[256]        ; 0..n numbers, 253 dot flag, 254 zero, 255 count
EndStructure

Structure MML_Channel Extends MML_Info
  EvtLen.l        ; length in ticks of the current note or rest
  Volume_.l       ; working volume in eighths of a step
  *CmdPtr.Unicode ; where reading resumes; 0 before the first text
EndStructure

; Voice state of the synthesiser, one lane per voice
Structure PSGInternal
  phase.f[4]
  phase_add.f[4]
  wave_mask.l[4]
  vmul.f[4]               ; target volume, an entry of VolTable
  tmp.f[4]                ; current volume, following vmul
  vol_change_speed.f[4]
  mastervolume.f
  interrupt_cnt.l         ; samples still to render before the next tick
EndStructure

Structure FloatBits       ; the bits of a float
  StructureUnion
    f.f
    l.l
  EndStructureUnion
EndStructure

Global Dim MMLTable.a(255)
Global Dim VolTable.f(63)
Global Dim NoteTable.f(#NoteCount - 1)
Global Dim WaveMask.l(7)
Global rcp44100.f

Global Synth.PSGInternal
Global prng.l = 1                       ; noise shift register, never reset

Global Dim MMLChannel.MML_Channel(3)
Global Dim MML_Commands.i(3)            ; the engine's copies of the texts
Global Dim MML_Numbers.NumberList(3)
Global Dim MML_Envelope.NumberList(3)
Global IsSettingMML, IsParsingMML, IsPlayingMML, TickLoopMask
Global Dim PhaseRestarts.l(3)           ; written by PSG_PlayMML only
Global Dim PhaseRestartsDone.l(3)       ; written by the render loop only

Global *record_buffer, record_buffer_idx.l  ; the index is written by the render loop only
Global RingRestart.l                    ; written by PSG_StartWaveRecord only
Global RingRestartDone.l                ; written by the render loop only
Global WaveFile, WriterThread, WaveGeneration.l
Global auto_stop, stop_recording, stop_record_idx.l, HoldAlignment

Declare PSG_Core(Frames, *Out)
Declare MML_Interrupt()
Declare StopRecording(FromTick)

; PureBasic has no atomic operations: a full memory barrier between raising
; one's own flag and reading the other side's keeps the flag exchanges exclusive.
CompilerIf #PB_Compiler_Backend = #PB_Backend_C
  Macro MemoryBarrier()
    !__sync_synchronize();
  EndMacro
CompilerElse
  Macro MemoryBarrier()
    !mfence
  EndMacro
CompilerEndIf

Procedure.f FloatFromBits(Bits.l)
  Protected Value.FloatBits
  Value\l = Bits
  ProcedureReturn Value\f
EndProcedure

; Round to the nearest integer, ties to even (Round() rounds ties away from 0)
Procedure.d RoundHalfEven(x.d)
  Protected r.d = Round(x, #PB_Round_Down)
  Protected Diff.d = x - r
  If Diff > 0.5 Or (Diff = 0.5 And (IntQ(r) & 1) = 1) : r + 1.0 : EndIf
  ProcedureReturn r
EndProcedure

;- Audio output
; Each platform offers OutputStart() and OutputStop(). The output pulls
; PSG_Core() on its own thread with any frame count.

CompilerSelect #PB_Compiler_OS

  CompilerCase #PB_OS_MacOS
    ; Core Audio: the default output Audio Unit with a render callback.
    ImportC "-framework AudioToolbox"
      AudioComponentFindNext(inComponent, *inDesc)
      AudioComponentInstanceNew.l(inComponent, *outInstance)
      AudioComponentInstanceDispose.l(inInstance)
      AudioUnitSetProperty.l(inUnit, inID.l, inScope.l, inElement.l, *inData, inDataSize.l)
      AudioUnitInitialize.l(inUnit)
      AudioUnitUninitialize.l(inUnit)
      AudioOutputUnitStart.l(ci)
      AudioOutputUnitStop.l(ci)
    EndImport

    Structure OutputComponent       ; AudioComponentDescription
      componentType.l : componentSubType.l : componentManufacturer.l
      componentFlags.l : componentFlagsMask.l
    EndStructure

    Structure OutputCallback        ; AURenderCallbackStruct
      *inputProc : *inputProcRefCon
    EndStructure

    Structure OutputFormat          ; AudioStreamBasicDescription, 40 bytes
      mSampleRate.d : mFormatID.l : mFormatFlags.l : mBytesPerPacket.l
      mFramesPerPacket.l : mBytesPerFrame.l : mChannelsPerFrame.l
      mBitsPerChannel.l : mReserved.l
    EndStructure

    Structure OutputBufferList      ; AudioBufferList with one buffer (64-bit)
      mNumberBuffers.l : pad.l : mNumberChannels.l : mDataByteSize.l : *mData
    EndStructure

    Global OutputUnit

    ProcedureC.l RenderCallback(*RefCon, *ActionFlags, *TimeStamp, BusNumber.l, NumberFrames.l, *Buffers.OutputBufferList)
      PSG_Core(NumberFrames, *Buffers\mData)
      ProcedureReturn 0
    EndProcedure

    Procedure OutputStart()
      Protected Desc.OutputComponent, Callback.OutputCallback, Format.OutputFormat
      Protected Frames.l = 2048
      Desc\componentType = $61756F75          ; 'auou'
      Desc\componentSubType = $64656620       ; 'def '
      Desc\componentManufacturer = $6170706C  ; 'appl'
      AudioComponentInstanceNew(AudioComponentFindNext(0, @Desc), @OutputUnit)
      If OutputUnit = 0 : ProcedureReturn #False : EndIf
      Callback\inputProc = @RenderCallback()
      AudioUnitSetProperty(OutputUnit, 23, 1, 0, @Callback, SizeOf(OutputCallback))
      Format\mSampleRate = 44100.0
      Format\mFormatID = $6C70636D            ; 'lpcm'
      Format\mFormatFlags = 1                 ; float, native order, interleaved
      Format\mBytesPerPacket = 4 : Format\mFramesPerPacket = 1 : Format\mBytesPerFrame = 4
      Format\mChannelsPerFrame = 1 : Format\mBitsPerChannel = 32
      AudioUnitSetProperty(OutputUnit, 8, 1, 0, @Format, SizeOf(OutputFormat))
      AudioUnitSetProperty(OutputUnit, $6673697A, 1, 0, @Frames, 4)   ; 'fsiz'
      AudioUnitInitialize(OutputUnit)
      ProcedureReturn Bool(AudioOutputUnitStart(OutputUnit) = 0)
    EndProcedure

    Procedure OutputStop()
      If OutputUnit
        AudioOutputUnitStop(OutputUnit)     ; returns after the last callback
        AudioUnitUninitialize(OutputUnit)
        AudioComponentInstanceDispose(OutputUnit)
        OutputUnit = 0
      EndIf
    EndProcedure

  CompilerCase #PB_OS_Windows
    ; waveOut: a thread refills whichever of three 2,048-frame buffers the
    ; device has finished with; the device signals an event for each one.
    #OutBuffers = 3
    #OutFrames = 2048
    Global hWaveOut, hWaveEvent, OutThread, OutRunning, *OutMemory
    Global Dim OutHeader.WAVEHDR(#OutBuffers - 1)

    Procedure OutputThread(Unused)
      Protected k
      While OutRunning
        For k = 0 To #OutBuffers - 1
          If (OutHeader(k)\dwFlags & $10) = 0   ; not WHDR_INQUEUE: free to fill
            PSG_Core(#OutFrames, OutHeader(k)\lpData)
            waveOutWrite_(hWaveOut, @OutHeader(k), SizeOf(WAVEHDR))
          EndIf
        Next
        WaitForSingleObject_(hWaveEvent, 100)
      Wend
    EndProcedure

    Procedure OutputStart()
      Protected Format.WAVEFORMATEX, k
      Format\wFormatTag = 3                     ; WAVE_FORMAT_IEEE_FLOAT
      Format\nChannels = 1 : Format\nSamplesPerSec = 44100 : Format\nAvgBytesPerSec = 44100 * 4
      Format\nBlockAlign = 4 : Format\wBitsPerSample = 32
      hWaveEvent = CreateEvent_(0, #False, #False, 0)
      If waveOutOpen_(@hWaveOut, -1, @Format, hWaveEvent, 0, $50000) <> 0   ; WAVE_MAPPER, CALLBACK_EVENT
        hWaveOut = 0 : ProcedureReturn #False
      EndIf
      *OutMemory = AllocateMemory(#OutBuffers * #OutFrames * 4)
      For k = 0 To #OutBuffers - 1
        OutHeader(k)\lpData = *OutMemory + k * #OutFrames * 4
        OutHeader(k)\dwBufferLength = #OutFrames * 4
        OutHeader(k)\dwFlags = 0
        waveOutPrepareHeader_(hWaveOut, @OutHeader(k), SizeOf(WAVEHDR))
      Next
      OutRunning = #True
      OutThread = CreateThread(@OutputThread(), 0)
      ProcedureReturn Bool(OutThread <> 0)
    EndProcedure

    Procedure OutputStop()
      Protected k
      If hWaveOut
        OutRunning = #False
        SetEvent_(hWaveEvent)
        If OutThread : WaitThread(OutThread) : OutThread = 0 : EndIf
        waveOutReset_(hWaveOut)
        For k = 0 To #OutBuffers - 1
          waveOutUnprepareHeader_(hWaveOut, @OutHeader(k), SizeOf(WAVEHDR))
        Next
        waveOutClose_(hWaveOut) : hWaveOut = 0
        FreeMemory(*OutMemory)
      EndIf
      If hWaveEvent : CloseHandle_(hWaveEvent) : hWaveEvent = 0 : EndIf
    EndProcedure

  CompilerDefault
    ; Other systems: no sound device here; the engine runs silently.
    Procedure OutputStart()
      ProcedureReturn #False
    EndProcedure
    Procedure OutputStop()
    EndProcedure

CompilerEndSelect

; The silent output, used when the sound device cannot start: a thread that
; renders 2,048 frames at a time at the real rate and drops them, so that
; the sequencer ticks, events arrive and recording works without sound.
#SilentFrames = 2048
Global SilentThread, SilentRunning, *SilentBuffer

Procedure SilentOutputThread(Unused)
  Protected Origin.q = ElapsedMilliseconds(), Frames.q, Due.q, Now.q
  While SilentRunning
    PSG_Core(#SilentFrames, *SilentBuffer)
    Frames + #SilentFrames
    Due = Origin + Frames * 1000 / 44100      ; when the next buffer is due
    Now = ElapsedMilliseconds()
    If Now - Due > 1000                       ; suspended for a while: do not race to catch up
      Origin = Now : Frames = 0
    ElseIf Due > Now
      Delay(Due - Now)
    EndIf
  Wend
EndProcedure

Procedure SilentStart()
  If *SilentBuffer = 0 : *SilentBuffer = AllocateMemory(#SilentFrames * SizeOf(Float)) : EndIf
  If *SilentBuffer = 0 : ProcedureReturn #False : EndIf
  SilentRunning = #True
  SilentThread = CreateThread(@SilentOutputThread(), 0)
  ProcedureReturn Bool(SilentThread <> 0)
EndProcedure

Procedure SilentStop()
  SilentRunning = #False
  If SilentThread : WaitThread(SilentThread) : SilentThread = 0 : EndIf
EndProcedure

; Stops any output, silences every voice and starts the output. When the
; sound device does not start, the engine runs on the silent output.
Procedure PSG_Init()
  PSG_Terminate()
  PSG_SetDefaults()
  If OutputStart() = #False
    OutputStop()                              ; release what the failed start left
    SilentStart()
    MessageRequester("Error", "Unable to initialize PSG")
  EndIf
EndProcedure

; Finishes a running recording (the file is complete when this returns),
; then stops and releases the output.
Procedure PSG_Terminate()
  PSG_StopWaveRecord()
  OutputStop()
  SilentStop()
EndProcedure

;- Synthesiser
; Four voices, each an oscillator whose waveform is chosen by a bit mask
; and whose volume follows its target smoothly, mixed into one stream.

Procedure PSG_SetDefaults()
  Protected k
  FillMemory(@Synth, SizeOf(PSGInternal), 0)
  For k = 0 To 3
    Synth\vol_change_speed[k] = FloatFromBits($3F7CED91)    ; 0.988
  Next
  Synth\mastervolume = 1.0
EndProcedure

; Starts a note on voice (Channel & 3): frequency in Hz, volume 0..63.
Procedure PSG_Sound(Channel.a, Frequency.f, Volume.a, Waveform.a = 0)
  Protected k = Channel & 3
  Protected Add.f, Ten.f = 10.0
  If IsNAN(Frequency) Or Frequency <= 0.0 Or Frequency > 22000.0   ; out of range
    Frequency = 0.0 : Volume = 0
  EndIf
  Add = Frequency * rcp44100
  Synth\phase_add[k] = Add
  If Synth\vmul[k] < 0.001              ; silent: restart at a zero crossing
    If Waveform = 0 : Synth\phase[k] = 0.75 : Else : Synth\phase[k] = 0.5 : EndIf
  EndIf
  Synth\vmul[k] = VolTable(Volume & 63)
  Synth\wave_mask[k] = WaveMask(Waveform & 7)
  If Waveform = 5 And k = 0             ; noise steps at ten times the frequency
    Add = Synth\phase_add[0] * Ten
    If Add > 0.999 : Add = 0.999 : EndIf
    Synth\phase_add[0] = Add
  EndIf
EndProcedure

; Renders Count samples of the current voice settings into *Out and into
; the recording ring: single precision, one operation per statement (each
; rounds once, also on the x87 of the ASM backend, and nothing is fused into
; a multiply-add), in the order of Bleeptone's own engine. That engine renders
; in flush-to-zero mode, which PureBasic does not offer; FlushTiny() stands in
; for it wherever a result can fall below the smallest normal float (a fading
; volume, a quiet voice, a mix that cancels), so that such a result becomes 0
; here too instead of a denormal number.
Structure BlockLanes      ; per-voice working values of one block
  Phase.f[4] : Tmp.f[4] : Speed.f[4] : Pull.f[4] : W.f[4]
EndStructure

Macro FlushTiny(x)        ; a result below the smallest normal float becomes 0, keeping its sign
  If x < Tiny And x > -Tiny : x = x * Zero : EndIf
EndMacro

Procedure RenderBlock(*Out.Float, Count)
  Protected i, k, Noise, Wrapped0, M.l, Dbits.l, Bits.FloatBits, L.BlockLanes
  Protected p.f, d.f, a.f, b.f, s.f
  Protected One.f = 1.0, Half.f = 0.5, MinusHalf.f = -0.5, Zero.f = 0.0
  Protected Scale.f = 65534.0, Quarters.f, Tiny.f = FloatFromBits($00800000)
  Protected Idx.l = record_buffer_idx
  Quarters = Half * Half
  Quarters = Quarters + Half                  ; 0.75, as 0.5 x 0.5 + 0.5
  For k = 0 To 3
    L\Phase[k] = Synth\phase[k]
    L\Tmp[k] = Synth\tmp[k]
    L\Speed[k] = Synth\vol_change_speed[k]
    a = Synth\vmul[k] * Quarters
    a = a * Synth\mastervolume                ; target volume
    b = One - L\Speed[k]
    L\Pull[k] = b * a
  Next
  Noise = Bool(Synth\wave_mask[0] = #NoiseMask)
  For i = 1 To Count
    Wrapped0 = #False
    For k = 0 To 3
      a = L\Tmp[k] * L\Speed[k]               ; volume smoothing
      L\Tmp[k] = a + L\Pull[k]
      FlushTiny(L\Tmp[k])
      p = L\Phase[k] + Synth\phase_add[k]     ; phase
      If p >= One
        p = p - One
        If k = 0 : Wrapped0 = #True : EndIf
      EndIf
      L\Phase[k] = p
      M = Synth\wave_mask[k]                  ; waveform value from the phase
      If M = #SquareMask
        If p >= Half : L\W[k] = One : Else : L\W[k] = Zero : EndIf
      Else                                    ; bits of 2p - 1 under M, of p elsewhere
        d = p + p : d = d - One
        Bits\f = d : Dbits = Bits\l
        Bits\f = p
        Bits\l = (Dbits & M) | (Bits\l & ~M)
        L\W[k] = Bits\f
      EndIf
    Next
    If Noise
      If Wrapped0                             ; step the shift register
        If prng & 1
          prng = ((prng >> 1) & $7FFFFFFF) ! $80200003
        Else
          prng = (prng >> 1) & $7FFFFFFF
        EndIf
      EndIf
      If prng & 1 : L\W[0] = One : Else : L\W[0] = Zero : EndIf
    EndIf
    For k = 0 To 3
      a = L\W[k] - Half
      L\W[k] = a * L\Tmp[k]
      FlushTiny(L\W[k])
    Next
    a = L\W[0] + L\W[2]                       ; mix
    FlushTiny(a)
    b = L\W[1] + L\W[3]
    FlushTiny(b)
    s = a + b
    FlushTiny(s)
    If s > Half : s = Half : EndIf            ; clip
    If s < MinusHalf : s = MinusHalf : EndIf
    a = s * Scale                             ; recording sample, truncated
    PokeW(*record_buffer + Idx, Int(a))
    Idx = (Idx + 2) & #RingIndexMask
    *Out\f = s + s
    *Out + SizeOf(Float)
  Next
  For k = 0 To 3
    Synth\phase[k] = L\Phase[k]
    Synth\tmp[k] = L\Tmp[k]
  Next
  MemoryBarrier()                             ; the samples reach the writer before the index
  record_buffer_idx = Idx
EndProcedure

; The render callback: fills Frames samples at *Out, running a sequencer
; tick before every 459th sample of the stream, whatever the buffer sizes
; (interrupt_cnt carries the count from one call to the next).
Procedure PSG_Core(Frames, *Out)
  Protected k, Due, Block
  While Frames > 0
    For k = 0 To 3                            ; phases restarted by PSG_PlayMML
      If PhaseRestartsDone(k) <> PhaseRestarts(k)
        PhaseRestartsDone(k) = PhaseRestarts(k)
        Synth\phase[k] = 0.75
      EndIf
    Next
    If RingRestartDone <> RingRestart         ; a recording starts: the ring restarts at 0
      record_buffer_idx = 0
      MemoryBarrier()
      RingRestartDone = RingRestart
    EndIf
    Due = Synth\interrupt_cnt
    If Due = 0                                ; a tick is due
      MML_Interrupt()
      Due = #TickSamples
    EndIf
    If Frames < Due : Block = Frames : Else : Block = Due : EndIf
    RenderBlock(*Out, Block)
    Synth\interrupt_cnt = Due - Block
    *Out + Block * SizeOf(Float)
    Frames - Block
  Wend
  ProcedureReturn #True
EndProcedure

;- MML commands
; Every character is classified by the low byte of its code through
; MMLTable: $FF end of text; bit 7 set: a command (the byte is its code);
; $40..$49 digit; $20/$22 sign -1/+1; $10 dot; $02 comma; $01 blank
; (ignored, does not interrupt a number); 0 anything else (resets the number).
; Codes $C0..$CF: note (low 4 bits = semitone) or rest ($CF); $A0 "<",
; $A2 ">", $AE K, $AF O; $90 L, $91 T, $92 V, $93 W, $94 "/", $95 "\",
; $9E "*", $9F ":".

; Reads the next command at *Pos and its modifiers into *Cmd, and returns
; the position after them. The text ends at *End (0: no limit) or at its
; terminator; there *Cmd\Code is 0 and the position stays on the end.
; With a list (sequencer), commas store numbers in it and the slots
; 253..255 get the dot flag, 0 and the count of numbers.
Procedure ReadMMLCommand(*Pos.Unicode, *End, *Cmd.MML_Command, *List.NumberList)
  Protected Class = $FF, Number.q, Closed
  *Cmd\Code = 0 : *Cmd\At = 0 : *Cmd\Number = 0
  *Cmd\Sign = 0 : *Cmd\Dot = #False : *Cmd\Closed = 0
  While *Pos <> *End                          ; skip up to the next command
    Class = MMLTable(*Pos\u & $FF)
    If Class & $80 : Break : EndIf
    *Pos + SizeOf(Unicode)
  Wend
  If *Pos = *End Or Class = $FF
    ProcedureReturn *Pos                      ; rests on the terminator
  EndIf
  *Cmd\Code = Class
  *Cmd\At = *Pos
  *Pos + SizeOf(Unicode)
  While *Pos <> *End                          ; its modifiers
    Class = MMLTable(*Pos\u & $FF)
    If Class & $80
      Break
    ElseIf Class & $40                        ; digit
      Number = Number * 10 + (Class & $0F)
    ElseIf Class & $20                        ; sign: a later one replaces it
      *Cmd\Sign = (Class & $0F) - 1
    ElseIf Class & $10
      *Cmd\Dot = #True
    ElseIf Class = $02                        ; comma: next number
      If *List And Closed < #ListMaxClosed
        *List\q[Closed] = Number
        Closed + 1
      EndIf
      Number = 0
    ElseIf Class = 0
      Number = 0
    EndIf
    *Pos + SizeOf(Unicode)
  Wend
  *Cmd\Number = Number
  *Cmd\Closed = Closed
  If *List
    *List\q[Closed] = Number
    *List\q[#ListDot] = *Cmd\Dot
    *List\q[254] = 0
    *List\q[#ListCount] = Closed + 1
  EndIf
  ProcedureReturn *Pos
EndProcedure

Procedure ResetInfo(*Info.MML_Info)           ; the defaults of every channel
  *Info\EvtCnt = 0 : *Info\Tempo = 12 : *Info\Octave = 4 : *Info\Transpose = 0
  *Info\NoteLen = 4 : *Info\Volume = 40 : *Info\Waveform = 0 : *Info\Decay = 0
EndProcedure

Procedure ResetChannel(*Ch.MML_Channel)
  ResetInfo(*Ch)
  *Ch\Volume_ = 0
EndProcedure

; Applies "<", ">", O, K, L, T, V, W. Returns #False for any other command.
Procedure ApplyMMLSetting(*Info.MML_Info, *Cmd.MML_Command)
  Protected n.q = *Cmd\Number, v.q
  Select *Cmd\Code
    Case $A0, $A2                             ; octave -1 / +1, unbounded
      *Info\Octave = *Info\Octave + (*Cmd\Code & $0F) - 1
    Case $AF
      *Info\Octave = n
    Case $AE                                  ; K: -24..24, larger leaves it
      If n <= 24
        If *Cmd\Sign = -1 : n = -n : EndIf
        *Info\Transpose = n
      EndIf
    Case $90                                  ; L: 0 changes nothing
      If n & $FFFFFFFF : *Info\NoteLen = n : EndIf
    Case $91                                  ; T: code 0..15 or beats per minute
      If n < 40
        *Info\Tempo = n & 15
      ElseIf n <= 240
        v = 1440 / n
        *Info\Tempo = 18 - ((v + 1) / 2)
      EndIf
    Case $92                                  ; V: number, or V+ / V- by 4
      If n <> 0
        *Info\Volume = n & 63
      ElseIf *Cmd\Sign <> 0
        v = *Cmd\Sign * 4
        v = *Info\Volume + v
        If v < 0 : v = 0 : ElseIf v > 63 : v = 63 : EndIf
        *Info\Volume = v
      Else
        *Info\Volume = 0
      EndIf
    Case $93
      *Info\Waveform = n
    Default
      ProcedureReturn #False
  EndSelect
  ProcedureReturn #True
EndProcedure

; Ticks of a note or rest: ((18 - tempo) x 32) / length, x 1.5 when dotted
Procedure.l NoteTicks(Tempo.l, Length.q, Dotted)
  Protected Ticks.q = 18 - Tempo
  If Length = 0 : ProcedureReturn 0 : EndIf
  Ticks = Ticks * 32 : Ticks = Ticks / Length
  If Dotted : Ticks = (Ticks * 2 + Ticks) >> 1 : EndIf
  If Ticks < 0 : Ticks = 0 : EndIf
  ProcedureReturn Ticks
EndProcedure

;- Sequencer

Procedure PostEndEvent(Value)                 ; -1 ended, -2 all looped
  If auto_stop
    StopRecording(#True)                      ; the file is complete first
  EndIf
  PostEvent(#MML_Event, 0, 0, 0, Value)
EndProcedure

; Moves the volume of a counting note along its envelope or decay.
Procedure UpdateVolume(k)
  Protected *Ch.MML_Channel = @MMLChannel(k), *Env.NumberList = @MML_Envelope(k)
  Protected Count.q, Elapsed.q, i.q, n.q, e.q, Vol.q, f.f, g.f
  Protected x.d, a.d, b.d, Rest.d, Rounded.d
  If *Ch\EvtLen <= 0 : ProcedureReturn : EndIf
  Vol = *Ch\Volume_
  If *Ch\Decay = #DecayEnvelope
    Count = *Env\q[#ListCount]
    Elapsed = *Ch\EvtLen - *Ch\EvtCnt
    If *Env\q[#ListDot] <> 0                  ; stepped: "\.a,b,c"
      i = Count * Elapsed : i = i / *Ch\EvtLen
      If i < 0 : i = 0 : ElseIf i > 255 : i = 255 : EndIf
      e = *Env\q[i] : n = Vol * e : n = n / 72
    Else                                      ; interpolated: "\a,b,c"
      i = (Count - 1) * Elapsed
      x = i : a = *Ch\EvtLen : x = x / a
      f = x                                   ; rounded to single precision
      i = Int(f) : g = i : f = f - g          ; integer part, fraction
      If i < 0 : i = 0 : ElseIf i > 254 : i = 254 : EndIf
      x = f : a = *Env\q[i] : b = *Env\q[i + 1]
      Rest = 1.0 - x : a = a * Rest : b = b * x : a = a + b   ; in double precision
      b = Vol : a = a * b : a = a / 72.0
      Rounded = RoundHalfEven(a)
      If Rounded <= 0.0
        n = 0
      ElseIf Rounded >= 63.0
        n = 63
      Else
        n = Rounded
      EndIf
    EndIf
    If n < 0 : n = 0 : ElseIf n > 63 : n = 63 : EndIf
    Synth\vmul[k] = VolTable(n)
  ElseIf Vol <> 0                             ; decay
    Vol = Vol - *Ch\Decay
    If Vol < 0 : Vol = 0 : ElseIf Vol > 63 * 8 : Vol = 63 * 8 : EndIf
    *Ch\Volume_ = Vol
    Synth\vmul[k] = VolTable(Vol >> 3)
  EndIf
EndProcedure

; A note or a rest: sound it (or silence the voice) and time it.
Procedure StartNote(k, *Cmd.MML_Command)
  Protected *Ch.MML_Channel = @MMLChannel(k)
  Protected Length.q = *Cmd\Number, Index.q, Semitone, Volume.q
  If Length = 0 : Length = *Ch\NoteLen : EndIf
  Index = -1                                  ; a rest
  If *Cmd\Code <> $CF
    Semitone = (*Cmd\Code & $0F) + *Cmd\Sign  ; wrapped inside the octave
    If Semitone < 0 : Semitone = 11 : ElseIf Semitone > 11 : Semitone = 0 : EndIf
    Index = *Ch\Octave
    Index = Index * 12 + Semitone + *Ch\Transpose
  EndIf
  If Index < 0 Or Index >= #NoteCount         ; rest, or note out of range
    *Ch\Volume_ = 0
    Synth\vmul[k] = 0.0
  Else
    *Ch\Volume_ = *Ch\Volume * 8
    If *Ch\Decay = #DecayEnvelope
      Volume = *Ch\Volume_ : Volume = Volume * MML_Envelope(k)\q[0] : Volume = Volume / 72
    Else
      Volume = *Ch\Volume
    EndIf
    PSG_Sound(k, NoteTable(Index), Volume & $FF, *Ch\Waveform & $FF)
  EndIf
  *Ch\EvtLen = NoteTicks(*Ch\Tempo, Length, *Cmd\Dot)
  *Ch\EvtCnt = *Ch\EvtLen
EndProcedure

; Reads and applies commands until a note or rest has been read or the
; text ends. A channel takes at most one ":" per tick: a second one stops
; reading with the position left on it, so that a text without notes
; (":", "T12:") loops once per tick instead of for ever.
Procedure ReadUntilNote(k)
  Protected *Ch.MML_Channel = @MMLChannel(k), Cmd.MML_Command
  Protected *Pos = *Ch\CmdPtr, Looped = #False
  Repeat
    *Pos = ReadMMLCommand(*Pos, 0, @Cmd, @MML_Numbers(k))
    If Cmd\Code = 0
      Break                                   ; the channel ends at the next tick
    EndIf
    If (Cmd\Code & $C0) = $C0
      StartNote(k, @Cmd)
      Break
    EndIf
    Select Cmd\Code
      Case $9F                                ; ":" loop
        If Looped
          *Pos = Cmd\At
          Break
        EndIf
        Looped = #True
        ResetChannel(*Ch)
        TickLoopMask = TickLoopMask | (1 << k)
        *Pos = MML_Commands(k)
      Case $9E                                ; "*" event, at once
        PostEvent(#MML_Event, 0, 0, 0, Cmd\Number & $7FFFFFFFFFFFFFFF)
      Case $95                                ; "\" decay, or envelope with a list
        If Cmd\Closed >= 1
          *Ch\Decay = #DecayEnvelope
          CopyMemory(@MML_Numbers(k), @MML_Envelope(k), SizeOf(NumberList))
        Else
          *Ch\Decay = Cmd\Number
        EndIf
      Default
        ApplyMMLSetting(*Ch, @Cmd)            ; "/" changes nothing
    EndSelect
  ForEver
  *Ch\CmdPtr = *Pos
EndProcedure

; One tick, on the audio thread before every block of 459 samples.
Procedure MML_Interrupt()
  Protected k, *Ch.MML_Channel, AtStart = #True, Ends
  If IsSettingMML : ProcedureReturn : EndIf   ; PSG_PlayMML is at work
  IsParsingMML = #True
  MemoryBarrier()
  If IsSettingMML
    IsParsingMML = #False
    ProcedureReturn
  EndIf
  ; Recording alignment: while every channel stands at the start of its
  ; text, the first second of the ring restarts at 0.
  For k = 0 To 3
    If MMLChannel(k)\CmdPtr And MMLChannel(k)\CmdPtr <> MML_Commands(k) : AtStart = #False : EndIf
  Next
  If AtStart And HoldAlignment = #False And record_buffer_idx < #AlignLimit
    record_buffer_idx = 0
  EndIf
  TickLoopMask = 0
  For k = 0 To 3
    *Ch = @MMLChannel(k)
    If *Ch\EvtCnt > 0                         ; a note counts down
      UpdateVolume(k)
      *Ch\EvtCnt - 1
    EndIf
    If *Ch\EvtCnt = 0                         ; read on, or end
      Ends = #True
      If *Ch\CmdPtr
        If MMLTable(*Ch\CmdPtr\u & $FF) <> $FF : Ends = #False : EndIf
      EndIf
      If Ends
        Synth\vmul[k] = 0.0
        *Ch\EvtCnt = -1
        IsPlayingMML = IsPlayingMML & ~(1 << k)
        If IsPlayingMML = 0 : PostEndEvent(-1) : EndIf
      Else
        ReadUntilNote(k)
      EndIf
    EndIf
  Next
  If TickLoopMask <> 0 And TickLoopMask = IsPlayingMML : PostEndEvent(-2) : EndIf
  IsParsingMML = #False
EndProcedure

; Replaces the texts of the channels whose text is not ":" and restarts
; them from their beginning. Main thread.
Procedure PSG_PlayMML(Channel0.s, Channel1.s = "", Channel2.s = "", Channel3.s = "")
  Protected k, Text.s, Length, *Copy, *Old
  IsSettingMML = #True
  MemoryBarrier()
  While IsParsingMML : Delay(1) : Wend        ; let a running tick finish
  For k = 0 To 3
    Select k
      Case 0 : Text = Channel0
      Case 1 : Text = Channel1
      Case 2 : Text = Channel2
      Case 3 : Text = Channel3
    EndSelect
    If Text <> #MML_NoChange
      Length = Len(Text)
      *Copy = AllocateMemory((Length + 1) * SizeOf(Unicode))   ; ends with 0
      If *Copy And Length : CopyMemory(@Text, *Copy, Length * SizeOf(Unicode)) : EndIf
      *Old = MML_Commands(k)
      MML_Commands(k) = *Copy
      ResetChannel(@MMLChannel(k))
      MMLChannel(k)\CmdPtr = *Copy
      PhaseRestarts(k) + 1                    ; the render loop sets phase 0.75
      IsPlayingMML = IsPlayingMML | (1 << k)
      If *Old : FreeMemory(*Old) : EndIf
    EndIf
  Next
  IsSettingMML = #False
EndProcedure

;- Position query
; The settings in force before the 1-based Position of a text, and the
; duration of the notes and rests before it: *Info\EvtCnt in 32nd notes,
; the result in tenths of a second. Decay is the number of the last "\".
; Touches no engine state: safe at any time, also while a tune plays.
Procedure PSG_GetInfoMML(MMLString.s, Position, *Info.MML_Info)
  Protected Info.MML_Info, Cmd.MML_Command, *Pos, *End, Scanned
  Protected Length.q, Share.q, In128ths.q, Ticks.q
  If *Info = 0 Or Position <= 0 : ProcedureReturn 0 : EndIf
  Scanned = Len(MMLString)
  If Position - 1 < Scanned : Scanned = Position - 1 : EndIf
  *Pos = @MMLString
  *End = *Pos + Scanned * SizeOf(Unicode)
  ResetInfo(@Info)
  Repeat
    *Pos = ReadMMLCommand(*Pos, *End, @Cmd, 0)
    If Cmd\Code = 0 Or Cmd\Code = $9F : Break : EndIf   ; the end, or ":"
    If (Cmd\Code & $C0) = $C0                 ; every note counts, also a silent one
      Length = Cmd\Number
      If Length = 0 : Length = Info\NoteLen : EndIf
      If Cmd\Dot : Share = 192 / Length : Else : Share = 128 / Length : EndIf
      If Share > 0 : In128ths + Share : EndIf
      Ticks + NoteTicks(Info\Tempo, Length, Cmd\Dot)
    ElseIf Cmd\Code = $95
      Info\Decay = Cmd\Number
    Else
      ApplyMMLSetting(@Info, @Cmd)            ; "*" and "/" change nothing
    EndIf
  ForEver
  Info\EvtCnt = In128ths >> 2
  CopyMemory(@Info, *Info, SizeOf(MML_Info))
  ProcedureReturn Ticks * #TickSamples / 4410
EndProcedure

;- WAV recorder
; The render loop stores every sample into the ring, recording or not. While
; a recording runs, the writer thread writes each half of the ring to the
; file once the render loop has moved on to the other half; at the stop it
; writes the rest, fades out the last 459 samples and fills in the sizes.
; A recording starts with the ring: the render loop restarts it at 0 before
; its next block, and the writer waits for that before it writes anything.

Procedure Thread_WriteWaveData(Generation)
  Protected prev_idx.l, idx.l, Stop, Started, k, Length.q
  Protected *Buffer459 = AllocateMemory(#FadeSamples * 2)
  Protected Fade.f = 1.0, Factor.f = FloatFromBits($3F7CED91)   ; 0.988
  Protected Sample.d
  Repeat
    For k = 1 To 10                           ; 100 ms, or until a stop is requested
      If stop_recording : Break : EndIf
      Delay(10)
    Next
    Stop = stop_recording
    MemoryBarrier()
    If IsFile(WaveFile) = 0 : Break : EndIf   ; no file: nothing more to do
    If Started = #False And RingRestartDone = Generation
      Started = #True : prev_idx = 0          ; the ring has restarted at 0
    EndIf
    If Stop : Break : EndIf
    If Started
      idx = record_buffer_idx
      MemoryBarrier()
      If (idx ! prev_idx) & #RingHalfBit      ; the other half: write this one
        WriteData(WaveFile, *record_buffer + (prev_idx & #RingHalfBit), #RingBytes / 2)
        prev_idx = idx
      EndIf
    EndIf
  ForEver
  If IsFile(WaveFile)                         ; the stop: write the rest
    If Started
      idx = stop_record_idx
      If (idx ! prev_idx) & #RingHalfBit
        WriteData(WaveFile, *record_buffer + (prev_idx & #RingHalfBit), #RingBytes / 2)
      EndIf
      If idx & #RingOffsetMask
        WriteData(WaveFile, *record_buffer + (idx & #RingHalfBit), idx & #RingOffsetMask)
      EndIf
    EndIf
    HoldAlignment = #False
    FlushFileBuffers(WaveFile)
    Length = Lof(WaveFile)
    If Length >= 44 + #FadeSamples * 2 And *Buffer459   ; fade out the last 459 samples
      FileSeek(WaveFile, Length - #FadeSamples * 2)
      If ReadData(WaveFile, *Buffer459, #FadeSamples * 2) = #FadeSamples * 2
        For k = 0 To #FadeSamples - 1
          Fade = Fade * Factor
          Sample = PeekW(*Buffer459 + k * 2)
          Sample = Sample * Fade
          PokeW(*Buffer459 + k * 2, Int(RoundHalfEven(Sample)))
        Next
        FileSeek(WaveFile, Length - #FadeSamples * 2)
        WriteData(WaveFile, *Buffer459, #FadeSamples * 2)
      EndIf
    EndIf
    If Length >= 44                           ; the sizes of the header
      FileSeek(WaveFile, 4) : WriteLong(WaveFile, Length - 8)
      FileSeek(WaveFile, 40) : WriteLong(WaveFile, Length - 44)
    EndIf
    CloseFile(WaveFile)
  EndIf
  If *Buffer459 : FreeMemory(*Buffer459) : EndIf
  WaveFile = 0
  stop_recording = #False
EndProcedure

; Asks the writer to finish and waits, 10 ms at a time, until the file is
; complete. Called on the main thread, and by the tick for the auto-stop.
Procedure StopRecording(FromTick)
  auto_stop = #False
  If WaveFile And stop_recording = #False
    HoldAlignment = #True                     ; no tick may rewind the ring now
    MemoryBarrier()
    If FromTick = #False                      ; a running tick finishes first
      While IsParsingMML : Delay(1) : Wend
    EndIf
    If WaveFile And stop_recording = #False
      If RingRestartDone = WaveGeneration
        stop_record_idx = record_buffer_idx
      Else
        stop_record_idx = 0                   ; nothing rendered since the start
      EndIf
      MemoryBarrier()
      stop_recording = #True
    EndIf
  EndIf
  While stop_recording And WaveFile : Delay(10) : Wend
  If WaveFile = 0 : HoldAlignment = #False : EndIf
  If FromTick = #False And WriterThread : WaitThread(WriterThread) : WriterThread = 0 : EndIf
EndProcedure

Procedure PSG_StopWaveRecord()
  StopRecording(#False)
EndProcedure

; Finishes a running recording, then records into a new 16-bit mono
; 44,100 Hz WAV file. AutoStop ends it when the tune ends or all its
; channels loop together (the file is complete before the event arrives).
; Returns #False, recording nothing, when the file cannot be created.
Procedure PSG_StartWaveRecord(FileName.s, AutoStop = #False)
  Protected File
  PSG_StopWaveRecord()
  auto_stop = AutoStop
  File = OpenFile(#PB_Any, FileName)          ; read and write: the tail is read back
  If File = 0 : ProcedureReturn #False : EndIf
  TruncateFile(File)                          ; an existing file starts empty
  If WriteData(File, ?WaveHeaderData, 44) <> 44
    CloseFile(File) : DeleteFile(FileName)
    ProcedureReturn #False
  EndIf
  stop_recording = #False
  HoldAlignment = #False
  RingRestart + 1                             ; the render loop restarts the ring at 0
  WaveGeneration = RingRestart
  WaveFile = File
  WriterThread = CreateThread(@Thread_WriteWaveData(), WaveGeneration)
  ProcedureReturn #True
EndProcedure

;- Engine start-up

Procedure InitEngine()
  Protected k, Factor.f = FloatFromBits($3F6AD298)   ; 10^(-0.0375), 0.75 dB
  Protected Base.f, Octave
  For k = 0 To 255 : MMLTable(k) = PeekA(?MMLTableData + k) : Next
  VolTable(63) = 1.0                          ; 64 gains in steps of 0.75 dB
  For k = 62 To 1 Step -1 : VolTable(k) = VolTable(k + 1) * Factor : Next
  VolTable(0) = 0.0
  For k = 0 To #NoteCount - 1                 ; C0..C8, A4 = 440 Hz
    Base = FloatFromBits(PeekL(?NoteOctave0Data + (k % 12) * 4))
    Octave = 1 << (k / 12)
    NoteTable(k) = Base * Octave              ; doubling per octave is exact
  Next
  WaveMask(0) = $7FFFFFFF : WaveMask(1) = $00000000    ; triangle, sawtooth
  WaveMask(2) = $7FAAFFFF : WaveMask(3) = $007FFFFF    ; complex A, complex B
  WaveMask(4) = #SquareMask : WaveMask(5) = #NoiseMask ; square, noise (voice 0)
  WaveMask(6) = $7FAAFFFF : WaveMask(7) = $007FFFFF    ; as 2 and 3
  rcp44100 = FloatFromBits($37BE37C6)         ; 1 / 44100
  *record_buffer = AllocateMemory(#RingBytes)
  For k = 0 To 3 : MMLChannel(k)\EvtCnt = -1 : Next          ; idle
  PSG_SetDefaults()
EndProcedure

InitEngine()

DataSection
  MMLTableData:                               ; class byte of each low byte
  Data.a $FF,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $00..$0F
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $10..$1F
  Data.a $01,$00,$00,$22,$00,$00,$00,$00,$00,$00,$9E,$22,$02,$20,$10,$94   ; $20..$2F
  Data.a $40,$41,$42,$43,$44,$45,$46,$47,$48,$49,$9F,$00,$A0,$00,$A2,$00   ; $30..$3F
  Data.a $00,$C9,$CB,$C0,$C2,$C4,$C5,$C7,$00,$00,$00,$AE,$90,$00,$00,$AF   ; $40..$4F
  Data.a $00,$00,$CF,$00,$91,$00,$92,$93,$00,$00,$00,$00,$95,$00,$00,$00   ; $50..$5F
  Data.a $00,$C9,$CB,$C0,$C2,$C4,$C5,$C7,$00,$00,$00,$AE,$90,$00,$00,$AF   ; $60..$6F
  Data.a $00,$00,$CF,$00,$91,$00,$92,$93,$00,$00,$00,$00,$00,$00,$00,$00   ; $70..$7F
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $80..$8F
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $90..$9F
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $A0..$AF
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $B0..$BF
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $C0..$CF
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $D0..$DF
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $E0..$EF
  Data.a $00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00,$00   ; $F0..$FF

  NoteOctave0Data:                            ; C0..B0: the float nearest to 440 x 2^((k - 57) / 12)
  Data.l $4182D013, $418A9760, $4192D517, $419B9041, $41A4D054, $41AE9D37   ; C0..F0
  Data.l $41B8FF49, $41C3FF6A, $41CFA700, $41DC0000, $41E914F6, $41F6F110   ; F#0..B0

  WaveHeaderData:                             ; 44 bytes, both sizes 0 until the end
  Data.l $46464952, 0                         ; "RIFF", file length - 8
  Data.l $45564157, $20746D66, 16             ; "WAVE", "fmt ", format size
  Data.w 1, 1                                 ; PCM, mono
  Data.l 44100, 88200                         ; samples and bytes per second
  Data.w 2, 16                                ; bytes per frame, bits per sample
  Data.l $61746164, 0                         ; "data", file length - 44
EndDataSection

EndModule
